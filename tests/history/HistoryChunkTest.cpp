// How the journal keeps its changes: appended per commit, folded into per-line chunks, converted
// from files of one row per change, pruned chunk by chunk; the readers answer the same throughout.

#include "history/HistoryChanges.h"
#include "history/HistoryJournal.h"
#include "history/HistoryReader.h"
#include "history/Sqlite.h"
#include "support/HistoryRig.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>

using namespace std::chrono_literals;

namespace {

constexpr int64_t kMinuteMs = int64_t(60) * 1000;
constexpr int64_t kHourMs = 60 * kMinuteMs;

std::string Describe(HistoryReader& reader, const HistorySpan& s)
{
    std::ostringstream out;
    out << s.from << ".." << s.until << " gap " << int(s.gap);
    if (s.gap == HistoryGap::None) {
        const HistoryStateText* text = reader.State(s.state);
        out << " '" << (text ? text->text : "?") << "' since " << s.since;
    }
    return out.str();
}

// Every line's spans over [from, until) and the board at each of moments, as text.
std::vector<std::string> Answers(int lines, int64_t from, int64_t until, const std::vector<int64_t>& moments,
                                 const std::string& path = "history.sqlite3")
{
    HistoryReader reader;
    std::string error;
    EXPECT_TRUE(reader.Open(path, error)) << error;
    std::vector<std::string> out;
    std::vector<HistorySpan> spans;
    for (int line = 0; line < lines; ++line) {
        EXPECT_TRUE(reader.LineSpans(line, from, until, spans)) << reader.Error();
        for (const HistorySpan& s : spans)
            out.push_back("line " + std::to_string(line) + ": " + Describe(reader, s));
    }
    for (const int64_t t : moments) {
        HistoryGap gap = HistoryGap::None;
        EXPECT_TRUE(reader.BoardAt(t, spans, gap)) << reader.Error();
        out.push_back("at " + std::to_string(t) + " gap " + std::to_string(int(gap)));
        for (const HistorySpan& s : spans)
            out.push_back("  " + Describe(reader, s));
    }
    return out;
}

class HistoryChunkTest : public ::testing::Test {
protected:
    ScratchDir dir;
};

} // namespace

TEST(HistoryChangeBlobTest, DecodesWhatItEncoded)
{
    const struct Case {
        const char* name;
        bool withLines;
        std::vector<HistoryChangeRow> rows;
    } cases[] = {
        {"one change", false, {{3, 1765000000000, 7}}},
        {"in order", false, {{3, 1765000000000, 1}, {3, 1765000000040, 2}, {3, 1765000060000, 300}}},
        {"a clock set back", false, {{0, 1765000005000, 1}, {0, 1765000001000, 2}, {0, 1765000009000, 1}}},
        {"the same moment twice", false, {{5, 1765000000000, 1}, {5, 1765000000000, 2}}},
        {"many lines", true, {{2047, 1765000000000, 4}, {0, 1765000000001, 5}, {9, 1764999999999, 0}}},
        {"large numbers", true, {{1, 0, int64_t(1) << 40}, {2, int64_t(1) << 50, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HistoryChangeBlob blob(c.withLines);
        int64_t t0 = INT64_MAX, t1 = INT64_MIN;
        for (const HistoryChangeRow& r : c.rows) {
            blob.Add(r.line, r.t, r.state);
            t0 = std::min(t0, r.t);
            t1 = std::max(t1, r.t);
        }
        EXPECT_EQ(blob.T0(), t0);
        EXPECT_EQ(blob.T1(), t1);
        EXPECT_EQ(blob.Count(), int64_t(c.rows.size()));
        const std::string data = blob.Data();
        std::vector<HistoryChangeRow> back;
        const auto take = [&](int line, int64_t t, int64_t state) { back.push_back({line, t, state}); };
        ASSERT_TRUE(DecodeHistoryChanges(data, blob.T0(), c.withLines, c.rows[0].line, take));
        EXPECT_EQ(back, c.rows);
        // Cut short anywhere but at a change's end, it says so.
        for (size_t cut = 1; cut < data.size(); ++cut) {
            back.clear();
            if (DecodeHistoryChanges(std::string_view(data).substr(0, cut), blob.T0(), c.withLines, c.rows[0].line,
                                     take)) {
                EXPECT_LT(back.size(), c.rows.size());
            }
        }
    }
}

TEST_F(HistoryChunkTest, ReadersAnswerTheSameBeforeAndAfterTheFold)
{
    HistoryOptions options = HistoryRig::Options();
    options.foldEvery = 24h;
    constexpr int kLines = 6;
    std::vector<int64_t> moments;
    int64_t start = 0;
    {
        HistoryRig rig(options);
        start = rig.Wall();
        std::mt19937 rng(7);
        for (int i = 0; i < 400; ++i) {
            rig.Advance(std::chrono::milliseconds(rng() % 900));
            rig.Status(kLines, int(rng() % kLines), "S" + std::to_string(rng() % 4));
            if (i % 37 == 0) {
                ASSERT_TRUE(rig.Flush());
                moments.push_back(rig.Wall());
            }
        }
        ASSERT_TRUE(rig.Flush());
        moments.push_back(rig.Wall());
        EXPECT_EQ(Count("SELECT count(*) FROM changes"), 0);
        EXPECT_GT(Count("SELECT count(*) FROM pending"), 5);
        const std::vector<std::string> pending = Answers(kLines, start, rig.Wall(), moments);
        const std::vector<HistoryChangeRow> stored = StoredChanges();
        ASSERT_GT(stored.size(), 200u); // a status sent again is no change
        ASSERT_EQ(uint64_t(stored.size()), rig.journal->Status().recorded);
        rig.Stop(); // a clean stop folds
        EXPECT_EQ(Count("SELECT count(*) FROM pending"), 0);
        EXPECT_EQ(Count("SELECT count(*) FROM changes"), kLines);
        EXPECT_EQ(Count("SELECT sum(n) FROM changes"), int64_t(stored.size()));
        EXPECT_EQ(StoredChanges(), stored);
        EXPECT_EQ(Answers(kLines, start, moments.back(), moments), pending);
    }
}

TEST_F(HistoryChunkTest, ReadersMergeChunksAndPendingAtTheFold)
{
    HistoryOptions options = HistoryRig::Options();
    options.foldEvery = 60s;
    HistoryRig rig(options);
    const int64_t start = rig.Wall();
    // Line 0 changes every 7 seconds for three minutes, a commit after each: some changes are
    // folded, the last are still pending; the changes just before and after a fold meet.
    std::vector<std::pair<int64_t, std::string>> sent;
    for (int i = 0; i < 26; ++i) {
        rig.Advance(7s);
        const std::string text = i % 2 ? "Idle" : "Talking " + std::to_string(i);
        rig.Status(2, 0, text);
        sent.emplace_back(rig.Wall(), text);
        ASSERT_TRUE(rig.Flush());
    }
    const int64_t end = rig.Wall() + 1000;
    EXPECT_GE(Count("SELECT count(*) FROM changes WHERE line = 0"), 2);
    EXPECT_GE(Count("SELECT count(*) FROM pending"), 1);
    HistoryReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open("history.sqlite3", error)) << error;
    std::vector<HistorySpan> spans;
    ASSERT_TRUE(reader.LineSpans(0, start, end, spans));
    ASSERT_EQ(spans.size(), sent.size() + 1); // the empty start, then each change
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(spans[i + 1].from, sent[i].first) << i;
        EXPECT_EQ(reader.State(spans[i + 1].state)->text, sent[i].second) << i;
    }
    // The board a moment before and at each change.
    for (size_t i = 0; i < sent.size(); ++i) {
        HistoryGap gap = HistoryGap::None;
        ASSERT_TRUE(reader.BoardAt(sent[i].first, spans, gap));
        ASSERT_EQ(spans.size(), 2u);
        EXPECT_EQ(reader.State(spans[0].state)->text, sent[i].second) << i;
        EXPECT_EQ(spans[0].since, sent[i].first) << i;
        if (i == 0)
            continue; // the board came with the first change
        ASSERT_TRUE(reader.BoardAt(sent[i].first - 1, spans, gap));
        ASSERT_EQ(spans.size(), 2u);
        EXPECT_EQ(reader.State(spans[0].state)->text, sent[i - 1].second) << i;
    }
}

TEST_F(HistoryChunkTest, TheLastChangeOfAMillisecondCountsWhereverItIsKept)
{
    HistoryOptions options = HistoryRig::Options();
    options.foldEvery = 60s;
    HistoryRig rig(options);
    rig.Advance(30s);
    rig.Status(1, 0, "first");
    ASSERT_TRUE(rig.Flush());
    rig.Advance(40s); // the next commit folds "first" and "second"
    rig.Status(1, 0, "second");
    const int64_t at = rig.Wall();
    ASSERT_TRUE(rig.Flush());
    // A second change in the same millisecond, in the next commit (still pending): it wins.
    rig.Status(1, 0, "third");
    ASSERT_TRUE(rig.Flush());
    EXPECT_EQ(Count("SELECT count(*) FROM pending"), 1);
    HistoryReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open("history.sqlite3", error)) << error;
    std::vector<HistorySpan> spans;
    HistoryGap gap = HistoryGap::None;
    ASSERT_TRUE(reader.BoardAt(at, spans, gap));
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(reader.State(spans[0].state)->text, "third");
    ASSERT_TRUE(reader.LineSpans(0, at - 1, at + 1, spans));
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_EQ(reader.State(spans[1].state)->text, "third");
}

TEST_F(HistoryChunkTest, AChunkAtTheSameMomentAsAnEarlierOneIsMergedIntoIt)
{
    SqliteDb db;
    ASSERT_EQ(db.Open("history.sqlite3", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE), SQLITE_OK);
    ASSERT_EQ(CreateHistorySchema(db), SQLITE_OK);
    HistoryChangeBlob a(false);
    a.Add(4, 1000, 1);
    a.Add(4, 2000, 2);
    HistoryChangeBlob b(false); // a clock set back: the next fold starts where the last one did
    b.Add(4, 1500, 3);
    b.Add(4, 1000, 4);
    ASSERT_EQ(InsertHistoryChunk(db, 4, a), SQLITE_OK);
    ASSERT_EQ(InsertHistoryChunk(db, 4, b), SQLITE_OK);
    int64_t rows = 0;
    ASSERT_EQ(db.QueryInt("SELECT count(*) FROM changes", rows), SQLITE_OK);
    EXPECT_EQ(rows, 1);
    std::vector<HistoryChangeRow> all;
    ASSERT_EQ(ForEachHistoryChange(db, [&](const HistoryChangeRow& r) { all.push_back(r); }), SQLITE_OK);
    const std::vector<HistoryChangeRow> want = {{4, 1000, 1}, {4, 2000, 2}, {4, 1500, 3}, {4, 1000, 4}};
    EXPECT_EQ(all, want);
}

namespace {

// The schema of the files written before changes were kept in chunks: one row per change.
const char kRowPerChangeSchema[] = R"(
CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE states(id INTEGER PRIMARY KEY, text BLOB NOT NULL, fore INTEGER NOT NULL, back INTEGER NOT NULL,
                    last INTEGER NOT NULL);
CREATE TABLE changes(line INTEGER NOT NULL, t INTEGER NOT NULL, state INTEGER NOT NULL,
                     PRIMARY KEY(line, t)) WITHOUT ROWID;
CREATE TABLE events(t INTEGER NOT NULL, kind INTEGER NOT NULL, value INTEGER NOT NULL, until INTEGER NOT NULL);
CREATE INDEX events_t ON events(t);
CREATE TABLE keyframes(t INTEGER PRIMARY KEY, lines INTEGER NOT NULL, cells BLOB NOT NULL);
CREATE TABLE sessions(started INTEGER PRIMARY KEY, until INTEGER NOT NULL, clean INTEGER NOT NULL);
INSERT INTO meta VALUES('retained_from', 0);
INSERT INTO states VALUES(0, x'', 0, 16777215, 0);
PRAGMA application_id = 1366706225;
PRAGMA user_version = 1;
)";

} // namespace

TEST_F(HistoryChunkTest, AFileOfOneRowPerChangeIsReadAndThenConverted)
{
    constexpr int kLines = 5;
    const int64_t start = kFakeWall0 - 3 * kHourMs; // before this run's session
    const int64_t stop = start + 2 * kHourMs + 1234;
    std::vector<HistoryChangeRow> rows;
    {
        SqliteDb db;
        ASSERT_EQ(db.Open("history.sqlite3", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE), SQLITE_OK);
        ASSERT_EQ(db.Exec("BEGIN"), SQLITE_OK);
        ASSERT_EQ(db.Exec(kRowPerChangeSchema), SQLITE_OK);
        ASSERT_EQ(db.Exec("INSERT INTO states VALUES(1, 'Idle', 0, 15, 0), (2, 'Talking', 4, 1, 0)"), SQLITE_OK);
        ASSERT_EQ(db.Exec(("INSERT INTO sessions VALUES(" + std::to_string(start) + ", " + std::to_string(stop) +
                           ", 1); INSERT INTO events VALUES(" + std::to_string(start + 1) + ", 1, 5, " +
                           std::to_string(start + 1) + ")")
                              .c_str()),
                  SQLITE_OK);
        SqliteStmt insert;
        ASSERT_EQ(insert.Prepare(db, "INSERT INTO changes VALUES(?1, ?2, ?3)"), SQLITE_OK);
        std::mt19937 rng(5);
        // Two hours of changes: the conversion cuts a line's changes into chunks of an hour.
        for (int64_t t = start + 10; t < stop; t += 1 + int64_t(rng() % 60000)) {
            const HistoryChangeRow r{int(rng() % kLines), t, int64_t(1 + rng() % 2)};
            insert.Bind(1, r.line);
            insert.Bind(2, r.t);
            insert.Bind(3, r.state);
            ASSERT_EQ(insert.Run(), SQLITE_DONE);
            rows.push_back(r);
        }
        ASSERT_EQ(db.Exec("COMMIT"), SQLITE_OK);
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& a, const auto& b) { return std::tie(a.line, a.t) < std::tie(b.line, b.t); });
    ASSERT_GT(rows.size(), 100u);
    const std::vector<int64_t> moments = {start, start + 1, start + kHourMs, start + kHourMs + 1, stop - 1, stop + 10};
    // Readers read it as it is.
    const std::vector<std::string> before = Answers(kLines, start, stop, moments);
    EXPECT_EQ(StoredChanges(), rows);

    // The journal converts it when it opens it, and goes on.
    {
        HistoryRig rig;
        EXPECT_EQ(rig.journal->Status().state, HistoryState::Recording) << rig.journal->Status().text;
        rig.Status(kLines, 0, "after");
        ASSERT_TRUE(rig.Flush());
    }
    EXPECT_EQ(Count("PRAGMA user_version"), kHistoryVersion);
    EXPECT_GE(Count("SELECT count(*) FROM changes"), 2 * kLines);
    EXPECT_LT(Count("SELECT max(t1 - t0) FROM changes"), kHourMs);
    std::string check;
    {
        SqliteDb db;
        ASSERT_EQ(db.Open("history.sqlite3", SQLITE_OPEN_READONLY), SQLITE_OK);
        ASSERT_EQ(db.QueryText("PRAGMA integrity_check", check), SQLITE_OK);
    }
    EXPECT_EQ(check, "ok");
    std::vector<HistoryChangeRow> converted = StoredChanges();
    ASSERT_EQ(converted.size(), rows.size() + 1);
    EXPECT_EQ(converted[size_t(std::find_if(converted.begin(), converted.end(),
                                            [](const HistoryChangeRow& r) { return r.t >= kFakeWall0; }) -
                               converted.begin())]
                  .line,
              0);
    converted.erase(
        std::remove_if(converted.begin(), converted.end(), [](const HistoryChangeRow& r) { return r.t >= kFakeWall0; }),
        converted.end());
    EXPECT_EQ(converted, rows);
    EXPECT_EQ(Answers(kLines, start, stop, moments), before);
}

TEST_F(HistoryChunkTest, RetentionCutsThroughAChunkAndKeepsItsLaterChanges)
{
    HistoryOptions options = HistoryRig::Options();
    options.keepFor = 15min;
    options.foldEvery = 15min; // a chunk as long as what is kept: the cut goes through one
    options.pictureEvery = 1min;
    options.pruneCheckEvery = 0ms;
    options.keepBytes = int64_t(1) << 40;
    HistoryRig rig(options);
    constexpr int kLines = 4;
    std::vector<int64_t> times;
    for (int i = 0; i < 40 * 60; ++i) {
        rig.Advance(1s);
        rig.Status(kLines, i % kLines, (i / kLines) % 2 ? "Idle" : "Talking");
        times.push_back(rig.Wall());
        if (i % 60 == 0) {
            ASSERT_TRUE(rig.Flush());
        }
    }
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(rig.Flush());
    rig.Stop();
    const int64_t retained = Count("SELECT value FROM meta WHERE key = 'retained_from'");
    ASSERT_GT(retained, times.front());
    const std::vector<HistoryChangeRow> kept = StoredChanges();
    // Nothing before the cut is left, everything after it is.
    const auto first = std::lower_bound(times.begin(), times.end(), retained);
    EXPECT_EQ(kept.size(), size_t(times.end() - first));
    for (const HistoryChangeRow& r : kept)
        EXPECT_GE(r.t, retained);
    // The chunk that reached over the cut starts at it now.
    EXPECT_GE(Count("SELECT min(t0) FROM changes"), retained);
    EXPECT_LT(Count("SELECT min(t0) FROM changes"), retained + 2 * kMinuteMs);
}
