// The journal fed as the worker feeds it, on the fake clock: what it writes, and what the readers
// make of it.

#include "history/HistoryJournal.h"

#include "common/HistorySink.h"
#include "history/HistoryCsv.h"
#include "history/HistoryReader.h"
#include "link/AnswerWatch.h"
#include "platform/Utf8.h"
#include "settings/EventLog.h"
#include "support/Frames.h"
#include "support/HistoryRig.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using namespace std::chrono_literals;

namespace {

struct Row {
    int line;
    int64_t t;
    std::string text;
    TColor fore;
    TColor back;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Row& r)
{
    return os << "{line " << r.line << " t " << r.t << " '" << r.text << "' " << r.fore << "/" << r.back << "}";
}

// Every change the file holds with its state spelt out, in line and time order.
std::vector<Row> Changes(const std::string& path = "history.sqlite3")
{
    SqliteDb db;
    EXPECT_EQ(db.Open(path, SQLITE_OPEN_READONLY), SQLITE_OK);
    SqliteStmt stmt;
    EXPECT_EQ(stmt.Prepare(db, "SELECT text, fore, back FROM states WHERE id = ?1"), SQLITE_OK);
    std::vector<Row> rows;
    for (const HistoryChangeRow& c : StoredChanges(path)) {
        stmt.Bind(1, c.state);
        EXPECT_EQ(stmt.Step(), SQLITE_ROW) << "state " << c.state;
        rows.push_back({c.line, c.t, std::string(stmt.Blob(0)), TColor(stmt.Int(1)), TColor(stmt.Int(2))});
        stmt.Reset();
    }
    return rows;
}

// How many stored changes are older than t.
int64_t ChangesBefore(int64_t t, const std::string& path = "history.sqlite3")
{
    const std::vector<HistoryChangeRow> all = StoredChanges(path);
    return std::count_if(all.begin(), all.end(), [t](const HistoryChangeRow& c) { return c.t < t; });
}

void OpenReader(HistoryReader& reader, const std::string& path = "history.sqlite3")
{
    std::string error;
    EXPECT_TRUE(reader.Open(path, error)) << error;
}

std::string Text(HistoryReader& reader, const HistorySpan& span)
{
    if (span.gap != HistoryGap::None)
        return "gap " + std::to_string(int(span.gap));
    const HistoryStateText* s = reader.State(span.state);
    return s ? s->text : "?";
}

class HistoryJournalTest : public ::testing::Test {
protected:
    ScratchDir dir;
    std::vector<std::string> log;
    void SetUp() override
    {
        SetLogSink([this](const char* m) { log.emplace_back(m); });
    }
    void TearDown() override { SetLogSink(nullptr); }
};

} // namespace

TEST_F(HistoryJournalTest, KeepsEveryChangeOfTheStatusTextAndNothingElse)
{
    HistoryRig rig;
    // Each step: a record of a 4-line board after a pause, and whether it changes a status text.
    const struct Step {
        std::chrono::milliseconds pause;
        int line;
        int column;
        const char* text;
        int fore;
        int back;
        bool kept;
    } steps[] = {
        {10ms, 0, 2, "Idle", 0, 15, true},
        {10ms, 1, 2, "Idle", 0, 15, true},
        {250ms, 0, 2, "Idle", 0, 15, false}, // sent again
        {1s, 0, 2, "Idle", 4, 1, false},     // new colours alone
        {1s, 0, 2, "Talking", 4, 1, true},   // a new text, in the colours it came with
        {5ms, 0, 3, "123", 0, 15, false},    // another column
        {5ms, 2, 1, "script.vox", 0, 15, false},
        {2s, 0, 2, "Talkin", 4, 1, true},             // a prefix is another text
        {1ms, 3, 2, "", 0, 15, false},                // the empty text a new board starts with
        {1ms, 3, 2, "\xBF\xD5\xCF\xD0", 2, 15, true}, // GBK, kept as the bytes that came
        {1ms, 3, 2, "Idle", 99, 15, true},            // a colour index outside the palette keeps the old colour
    };
    std::vector<Row> want;
    std::map<int, std::pair<TColor, TColor>> colours; // the status cell's colours as the board has them
    for (const Step& s : steps) {
        rig.Advance(s.pause);
        rig.Receive(4, Record(s.line, s.column, s.fore, s.back, s.text));
        if (s.column == 2) {
            auto& [fore, back] = colours.try_emplace(s.line, LinePalette[0], LinePalette[15]).first->second;
            if (s.fore >= 0 && s.fore <= 15)
                fore = LinePalette[s.fore];
            back = LinePalette[s.back];
            if (s.kept)
                want.push_back({s.line, rig.Wall(), s.text, fore, back});
        }
    }
    ASSERT_TRUE(rig.Flush());
    std::sort(want.begin(), want.end(),
              [](const Row& a, const Row& b) { return std::tie(a.line, a.t) < std::tie(b.line, b.t); });
    EXPECT_EQ(Changes(), want);
    const HistoryStatus status = rig.journal->Status();
    EXPECT_EQ(status.state, HistoryState::Recording);
    EXPECT_EQ(status.recorded, want.size());
    EXPECT_EQ(status.notRecorded, 0u);
    EXPECT_TRUE(log.empty());
}

TEST_F(HistoryJournalTest, AStatusRepeatedMillionsOfTimesIsStoredOnce)
{
    HistoryRig rig;
    for (int i = 0; i < 200; ++i) {
        rig.Advance(100ms);
        rig.Status(8, i % 8, (i / 8) % 2 ? "Idle" : "Talking", 0, 15);
    }
    ASSERT_TRUE(rig.Flush());
    EXPECT_EQ(StoredChanges().size(), 200u);
    // The empty text every board starts in, and the two.
    EXPECT_EQ(Count("SELECT count(*) FROM states"), 3);
}

TEST_F(HistoryJournalTest, ANewBoardIsAnEventAndStartsEveryLineEmpty)
{
    HistoryRig rig;
    rig.Advance(1s);
    const int64_t first = rig.Wall();
    rig.Status(4, 1, "Idle");
    rig.Advance(1s);
    const int64_t replaced = rig.Wall();
    rig.Status(6, 5, "Ringing");
    rig.Advance(1s);
    const int64_t gone = rig.Wall();
    DestroyBoard();
    rig.Advance(1s);
    ASSERT_TRUE(rig.Flush());
    const int64_t end = rig.Wall();

    HistoryReader reader;
    OpenReader(reader);
    std::vector<HistoryEventRow> events;
    ASSERT_TRUE(reader.Events(0, end, events));
    ASSERT_EQ(events.size(), 3u);
    const int64_t counts[] = {4, 6, 0};
    const int64_t times[] = {first, replaced, gone};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(events[i].kind, HistoryEventKind::Board);
        EXPECT_EQ(events[i].value, counts[i]);
        EXPECT_EQ(events[i].t, times[i]);
    }

    // Line 1 had a text on the first board; the new board starts it empty. Line 5 was not there.
    std::vector<HistorySpan> spans;
    ASSERT_TRUE(reader.LineSpans(1, first, end, spans));
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_EQ(Text(reader, spans[0]), "Idle");
    EXPECT_EQ(spans[1].from, replaced);
    EXPECT_EQ(Text(reader, spans[1]), "");
    EXPECT_EQ(spans[2].from, gone);
    EXPECT_EQ(spans[2].gap, HistoryGap::NoBoard);
    ASSERT_TRUE(reader.LineSpans(5, first, end, spans));
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_EQ(spans[0].gap, HistoryGap::NotOnBoard);
    EXPECT_EQ(Text(reader, spans[1]), "Ringing");
    EXPECT_EQ(spans[1].from, replaced);
}

TEST_F(HistoryJournalTest, TheLinkAndTheOverdueAnswerAreEventsOnce)
{
    HistoryRig rig;
    rig.Status(2, 0, "Idle");
    rig.Advance(1s);
    const int64_t down = rig.Wall();
    // The worker reports the link down on every failed reconnection.
    for (int i = 0; i < 3; ++i) {
        History()->LinkChanged(false);
        rig.Advance(8s);
    }
    const int64_t up = rig.Wall();
    History()->LinkChanged(true);
    rig.Advance(2s);
    const int64_t healed = rig.Wall();
    rig.Status(2, 1, "Ringing"); // the first frame after the reconnection
    rig.Advance(30s);
    const int64_t overdue = rig.Wall();
    rig.link.pollSentAt = SteadyMs();
    EXPECT_TRUE(TakeOverdueReport(rig.link));
    EXPECT_FALSE(TakeOverdueReport(rig.link));
    rig.Advance(5s);
    const int64_t answered = rig.Wall();
    rig.Status(2, 1, "Talking");
    rig.Advance(1s);
    ASSERT_TRUE(rig.Flush());

    HistoryReader reader;
    OpenReader(reader);
    std::vector<HistoryEventRow> events;
    ASSERT_TRUE(reader.Events(0, rig.Wall(), events));
    const std::vector<std::pair<HistoryEventKind, int64_t>> want = {
        {HistoryEventKind::Board, events.empty() ? 0 : events[0].t},
        {HistoryEventKind::LinkDown, down},
        {HistoryEventKind::LinkUp, up},
        {HistoryEventKind::OverdueStart, overdue},
        {HistoryEventKind::OverdueEnd, answered},
    };
    ASSERT_EQ(events.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(events[i].kind, want[i].first) << i;
        EXPECT_EQ(events[i].t, want[i].second) << i;
    }

    // Line 0 did not change across the outage, yet the outage is a gap, never "Idle" carried on.
    std::vector<HistorySpan> spans;
    ASSERT_TRUE(reader.LineSpans(0, down - 1000, rig.Wall(), spans));
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_EQ(Text(reader, spans[0]), "Idle");
    EXPECT_EQ(spans[1].gap, HistoryGap::LinkDown);
    EXPECT_EQ(spans[1].from, down);
    EXPECT_EQ(spans[1].until, healed);
    EXPECT_EQ(Text(reader, spans[2]), "Idle");
    EXPECT_EQ(spans[2].since, spans[0].since); // as long as the board showed it
}

TEST_F(HistoryJournalTest, AFullQueueDropsChangesAndSaysHowManyWithoutStoppingTheWorker)
{
    HistoryOptions options = HistoryRig::Options();
    options.queueSize = 4;
    options.idleWait = std::chrono::hours(1); // the writer takes nothing until flushed
    HistoryRig rig(options);
    const auto frame = [](const char* text) {
        std::string records;
        for (int line = 0; line < 10; ++line)
            records += Record(line, 2, 0, 15, text + std::to_string(line));
        return records;
    };
    rig.Advance(1s);
    const int64_t first = rig.Wall();
    rig.Receive(10, frame("A"));
    rig.Advance(1s);
    const int64_t second = rig.Wall();
    rig.Receive(10, frame("B"));
    rig.Advance(1s);
    ASSERT_TRUE(rig.Flush());

    const HistoryStatus status = rig.journal->Status();
    EXPECT_EQ(status.recorded, 4u);
    EXPECT_EQ(status.notRecorded, 16u);
    HistoryReader reader;
    OpenReader(reader);
    std::vector<HistoryEventRow> events;
    ASSERT_TRUE(reader.Events(0, rig.Wall(), events));
    int64_t dropped = 0;
    for (const HistoryEventRow& e : events)
        dropped += e.kind == HistoryEventKind::NotRecorded ? e.value : 0;
    EXPECT_EQ(dropped, 16);

    // Between the frames no line's state is known; the second frame's picture knows them all.
    for (int line : {0, 7}) {
        std::vector<HistorySpan> spans;
        ASSERT_TRUE(reader.LineSpans(line, first, rig.Wall(), spans));
        ASSERT_EQ(spans.size(), 2u) << line;
        EXPECT_EQ(spans[0].gap, HistoryGap::NotRecorded);
        EXPECT_EQ(spans[0].notRecorded, 16);
        EXPECT_EQ(spans[1].from, second);
        EXPECT_EQ(Text(reader, spans[1]), "B" + std::to_string(line));
    }
    std::vector<HistorySpan> board;
    HistoryGap gap = HistoryGap::None;
    ASSERT_TRUE(reader.BoardAt(first + 500, board, gap));
    ASSERT_EQ(board.size(), 10u);
    for (const HistorySpan& line : board)
        EXPECT_EQ(line.gap, HistoryGap::NotRecorded);
}

TEST_F(HistoryJournalTest, TheBoardAtAnyMomentIsWhatItShowedThen)
{
    HistoryOptions options = HistoryRig::Options();
    options.pictureEvery = 20s;
    HistoryRig rig(options);
    constexpr int kLines = 16;
    const char* const kTexts[] = {"Idle", "Ringing", "Talking", "Wrap-up", "Blocked"};
    // What the board showed, line by line: (moment, text).
    std::vector<std::vector<std::pair<int64_t, std::string>>> shown(kLines);
    uint32_t seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    std::string first;
    for (int line = 0; line < kLines; ++line)
        first += Record(line, 2, 0, 15, kTexts[0]);
    rig.Receive(kLines, first);
    for (int line = 0; line < kLines; ++line)
        shown[size_t(line)].push_back({rig.Wall(), kTexts[0]});
    for (int i = 0; i < 400; ++i) {
        rig.Advance(std::chrono::milliseconds(50 + next() % 900));
        const int line = int(next() % kLines);
        const char* text = kTexts[next() % 5];
        rig.Status(kLines, line, text);
        if (shown[size_t(line)].back().second != text)
            shown[size_t(line)].push_back({rig.Wall(), text});
        if (i % 97 == 0) {
            ASSERT_TRUE(rig.Flush());
        }
    }
    ASSERT_TRUE(rig.Flush());
    const int64_t end = rig.Wall();

    HistoryReader reader;
    OpenReader(reader);
    int64_t begin = 0;
    int64_t last = 0;
    ASSERT_TRUE(reader.Span(begin, last));
    EXPECT_EQ(last, end);
    for (int64_t t = shown[0].front().first; t <= end; t += 7919) {
        std::vector<HistorySpan> board;
        HistoryGap gap = HistoryGap::None;
        ASSERT_TRUE(reader.BoardAt(t, board, gap));
        ASSERT_EQ(gap, HistoryGap::None);
        ASSERT_EQ(board.size(), size_t(kLines));
        for (int line = 0; line < kLines; ++line) {
            const auto& h = shown[size_t(line)];
            auto it = std::upper_bound(h.begin(), h.end(), t,
                                       [](int64_t v, const std::pair<int64_t, std::string>& e) { return v < e.first; });
            ASSERT_NE(it, h.begin());
            --it;
            SCOPED_TRACE("line " + std::to_string(line) + " at " + std::to_string(t));
            EXPECT_EQ(Text(reader, board[size_t(line)]), it->second);
            EXPECT_EQ(board[size_t(line)].since, it->first);
        }
    }
    // One line's history is the same story.
    std::vector<HistorySpan> spans;
    ASSERT_TRUE(reader.LineSpans(3, shown[3].front().first, end, spans));
    ASSERT_EQ(spans.size(), shown[3].size());
    for (size_t i = 0; i < spans.size(); ++i) {
        EXPECT_EQ(spans[i].from, shown[3][i].first);
        EXPECT_EQ(Text(reader, spans[i]), shown[3][i].second);
    }
}

// The board's picture is taken at a frame's end; a frame in the same millisecond after it is newer.
TEST_F(HistoryJournalTest, AChangeInThePicturesMillisecondAfterItIsKept)
{
    HistoryRig rig;
    constexpr int kLines = 4;
    std::string first;
    for (int line = 0; line < kLines; ++line)
        first += Record(line, 2, 0, 15, "Idle");
    rig.Receive(kLines, first); // a new board: pictured at this frame's end
    const int64_t at = rig.Wall();
    rig.Status(kLines, 2, "Talking"); // the next frame, within the same millisecond
    rig.Advance(100ms);
    rig.Status(kLines, 1, "Ringing");
    ASSERT_TRUE(rig.Flush());

    HistoryReader reader;
    OpenReader(reader);
    for (const int64_t t : {at, at + 50, at + 100}) {
        SCOPED_TRACE("at +" + std::to_string(t - at));
        std::vector<HistorySpan> board;
        HistoryGap gap = HistoryGap::None;
        ASSERT_TRUE(reader.BoardAt(t, board, gap));
        ASSERT_EQ(board.size(), size_t(kLines));
        EXPECT_EQ(Text(reader, board[2]), "Talking");
        EXPECT_EQ(board[2].since, at);
        EXPECT_EQ(Text(reader, board[1]), t < at + 100 ? "Idle" : "Ringing");
    }
    std::vector<HistorySpan> spans;
    ASSERT_TRUE(reader.LineSpans(2, at, at + 100, spans));
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(Text(reader, spans[0]), "Talking");
}

TEST_F(HistoryJournalTest, TheTimeBetweenTwoRunsIsAGap)
{
    HistoryRig rig;
    rig.Status(2, 0, "Idle");
    const int64_t idle = rig.Wall();
    rig.Advance(1s);
    const int64_t stopped = rig.Wall();
    rig.Stop(); // history turned off while the monitor runs on
    rig.Advance(1h);
    const int64_t restarted = rig.Wall();
    rig.journal = std::make_unique<HistoryJournal>(HistoryRig::Options());
    ASSERT_TRUE(rig.Flush());
    rig.Advance(1s);
    rig.Status(2, 1, "Ringing"); // the first frame after the start: the board's picture
    rig.Advance(1s);
    ASSERT_TRUE(rig.Flush());

    HistoryReader reader;
    OpenReader(reader);
    const struct {
        int64_t t;
        HistoryGap gap;
        std::vector<std::string> texts;
    } cases[] = {
        {stopped - 500, HistoryGap::None, {"Idle", ""}},
        {stopped + 5000, HistoryGap::NotRunning, {}},
        {restarted + 500, HistoryGap::NoBoard, {}},
        {rig.Wall(), HistoryGap::None, {"Idle", "Ringing"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.t - idle);
        std::vector<HistorySpan> board;
        HistoryGap gap = HistoryGap::None;
        ASSERT_TRUE(reader.BoardAt(c.t, board, gap));
        EXPECT_EQ(gap, c.gap);
        std::vector<std::string> texts;
        for (const HistorySpan& line : board)
            texts.push_back(Text(reader, line));
        EXPECT_EQ(texts, c.texts);
        if (c.gap == HistoryGap::None) {
            EXPECT_EQ(board[0].since, idle); // as the board counted it, across the pause
        }
    }
}

TEST_F(HistoryJournalTest, RetentionByAgePrunesInSmallSteps)
{
    HistoryOptions options = HistoryRig::Options();
    options.keepFor = 10min;
    options.pictureEvery = 1min;
    options.pruneCheckEvery = 0ms;
    options.pruneRows = 20; // a few lines' worth per commit
    options.keepBytes = int64_t(1) << 40;
    HistoryRig rig(options);
    constexpr int kLines = 64;
    std::string all;
    for (int line = 0; line < kLines; ++line)
        all += Record(line, 2, 0, 15, "Idle");
    rig.Receive(kLines, all);
    for (int i = 1; i <= 30 * 60; ++i) { // half an hour, a change a second
        rig.Advance(1s);
        rig.Status(kLines, i % kLines, (i / kLines) % 2 ? "Idle" : "Talking");
        if (i % 60 == 0 && i <= 21 * 60) {
            ASSERT_TRUE(rig.Flush()); // every picture written, none replaced by the next
        }
    }
    const int64_t end = rig.Wall();
    const int64_t cutoff = end - 10 * 60 * 1000;
    const auto retainedFrom = [] { return Count("SELECT value FROM meta WHERE key = 'retained_from'"); };
    const auto oldRows = [&] { return ChangesBefore(retainedFrom()); };
    // Each commit prunes at most pruneRows rows (and the rest of the line it stopped in).
    int64_t before = oldRows();
    int steps = 0;
    const auto oldPictures = [] {
        return Count("SELECT count(*) FROM keyframes WHERE t < (SELECT value FROM meta WHERE key = 'retained_from')");
    };
    for (; steps < 200 && (retainedFrom() <= cutoff - 61 * 1000 || oldRows() > 0 || oldPictures() > 0); ++steps) {
        ASSERT_TRUE(rig.Flush());
        const int64_t rows = oldRows();
        EXPECT_LE(before - rows, 20 + 30) << "one step took too much";
        before = rows;
    }
    EXPECT_GT(steps, 2);
    const int64_t retained = retainedFrom();
    EXPECT_LE(retained, cutoff);
    EXPECT_GT(retained, cutoff - 61 * 1000);
    EXPECT_EQ(ChangesBefore(retained), 0);
    EXPECT_EQ(Count(("SELECT count(*) FROM keyframes WHERE t < " + std::to_string(retained)).c_str()), 0);

    HistoryReader reader;
    OpenReader(reader);
    std::vector<HistorySpan> board;
    HistoryGap gap = HistoryGap::None;
    ASSERT_TRUE(reader.BoardAt(retained - 1, board, gap));
    EXPECT_EQ(gap, HistoryGap::NotRetained);
    // Just after the cut every line is still known, from the picture the cut was made at.
    ASSERT_TRUE(reader.BoardAt(retained, board, gap));
    ASSERT_EQ(board.size(), size_t(kLines));
    for (const HistorySpan& line : board)
        EXPECT_EQ(line.gap, HistoryGap::None);
}

TEST_F(HistoryJournalTest, RetentionBySizeDropsTheOldestFirst)
{
    HistoryOptions options = HistoryRig::Options();
    options.keepBytes = 200 * 1024;
    options.pictureEvery = 1min;
    options.pruneCheckEvery = 0ms;
    options.pruneRows = 2000;
    HistoryRig rig(options);
    constexpr int kLines = 256;
    const auto usedBytes = [] {
        return (Count("PRAGMA page_count") - Count("PRAGMA freelist_count")) * Count("PRAGMA page_size");
    };
    int64_t lastChange = 0;
    for (int minute = 0; minute < 60; ++minute) {
        for (int i = 0; i < 600; ++i) {
            rig.Advance(100ms);
            rig.Status(kLines, (minute * 600 + i) * 7 % kLines, std::string("S") + std::to_string(i % 5));
        }
        lastChange = rig.Wall();
        ASSERT_TRUE(rig.Flush());
    }
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(rig.Flush());
    EXPECT_LE(usedBytes(), options.keepBytes);
    const int64_t retained = Count("SELECT value FROM meta WHERE key = 'retained_from'");
    EXPECT_GT(retained, kFakeWall0 + 10 * 60 * 1000); // far more than 36,000 changes fit in 200 KB
    const std::vector<HistoryChangeRow> kept = StoredChanges();
    EXPECT_EQ(std::count_if(kept.begin(), kept.end(), [&](const HistoryChangeRow& c) { return c.t == lastChange; }), 1);
    EXPECT_EQ(ChangesBefore(retained), 0);
}

TEST_F(HistoryJournalTest, ExportsAsNeutralCsv)
{
    HistoryRig rig;
    rig.Status(2, 0, "Idle");
    rig.Advance(1500ms);
    rig.Status(2, 0, "=cmd|' /C calc'!A0");
    rig.Advance(250ms);
    rig.Status(2, 1, "\xBF\xD5\xCF\xD0");
    rig.Advance(1s);
    ASSERT_TRUE(rig.Flush());
    const int64_t end = rig.Wall();
    HistoryReader reader;
    OpenReader(reader);
    int64_t begin = 0;
    int64_t last = 0;
    ASSERT_TRUE(reader.Span(begin, last));
    std::string csv;
    std::string error;
    ASSERT_TRUE(HistoryCsv(
        reader, 0, begin, end,
        [&csv](std::string_view s) {
            csv += s;
            return true;
        },
        error));
    std::vector<std::string> rows;
    for (size_t at = 0; at < csv.size();) {
        const size_t eol = csv.find("\r\n", at);
        ASSERT_NE(eol, std::string::npos);
        rows.push_back(csv.substr(at, eol - at));
        at = eol + 2;
    }
    ASSERT_EQ(rows.size(), 4u) << csv;
    EXPECT_EQ(rows[0], "Time,Line,Status,Seconds,Gap");
    EXPECT_NE(rows[1].find(",0,,0.001,no board"), std::string::npos) << rows[1]; // the start, before the first frame
    EXPECT_NE(rows[2].find(",0,Idle,1.500,"), std::string::npos) << rows[2];
    EXPECT_NE(rows[3].find(",0,'=cmd|' /C calc'!A0,1.250,"), std::string::npos) << rows[3];

    // Every line: line 1's GBK text comes out as UTF-8.
    ASSERT_TRUE(SaveHistoryCsv(reader, -1, begin, end, "all.csv", error)) << error;
    const std::string all = ReadFile("all.csv");
    EXPECT_NE(all.find(",1," + GbkToUtf8("\xBF\xD5\xCF\xD0") + ","), std::string::npos) << all;
    EXPECT_FALSE(std::filesystem::exists("all.csv.tmp"));
}

TEST(HistoryRetentionTest, TheOperatorsDaysAndMegabytesAreTakenOnlyWhenInRange)
{
    using std::chrono::hours;
    constexpr int64_t kMB = int64_t(1) << 20;
    struct Case {
        const char* days;
        const char* megabytes;
        bool taken;
        hours keepFor;
        int64_t keepBytes;
    };
    const Case cases[] = {
        {"", "", true, hours(168), int64_t(1) << 30}, // the defaults: a week, 1 GB
        {"3", "", true, hours(72), int64_t(1) << 30},
        {" 30 ", "512", true, hours(720), 512 * kMB},
        {"1", "16", true, hours(24), 16 * kMB},
        {"3650", "1048576", true, hours(3650 * 24), 1048576 * kMB},
        {"0", "", false, hours(168), int64_t(1) << 30},
        {"3651", "", false, hours(168), int64_t(1) << 30},
        {"-2", "15", false, hours(168), int64_t(1) << 30},
        {"7 days", "1e3", false, hours(168), int64_t(1) << 30},
        {"2.5", "2048", false, hours(168), 2048 * kMB},
        {"99999999999999999999", "0x100", false, hours(168), int64_t(1) << 30},
    };
    for (const Case& c : cases) {
        HistoryOptions options;
        EXPECT_EQ(ApplyHistoryRetention(options, c.days, c.megabytes), c.taken) << c.days << " / " << c.megabytes;
        EXPECT_EQ(options.keepFor, c.keepFor) << c.days;
        EXPECT_EQ(options.keepBytes, c.keepBytes) << c.megabytes;
    }
}
