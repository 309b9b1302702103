#include "history/HistoryReader.h"

#include "history/HistoryChanges.h"
#include "platform/Utf8Path.h"
#include "settings/EventLog.h"

#include <algorithm>

// A read transaction: every query sees the file as one commit left it, however the writer goes on.
struct HistoryReader::Read {
    explicit Read(SqliteDb& db) : db_(db), rc(db.Exec("BEGIN")) {}
    ~Read()
    {
        if (rc == SQLITE_OK)
            db_.Exec("COMMIT");
    }
    Read(const Read&) = delete;
    Read& operator=(const Read&) = delete;
    SqliteDb& db_;
    int rc;
};

namespace {

bool Collect(SqliteStmt& stmt, int& rc, const auto& take)
{
    while ((rc = stmt.Step()) == SQLITE_ROW)
        take();
    stmt.Reset();
    if (rc == SQLITE_DONE)
        rc = SQLITE_OK;
    return rc == SQLITE_OK;
}

} // namespace

bool HistoryReader::Fail(int rc)
{
    error_ = sqlite3_errstr(rc);
    if (db_.IsOpen() && std::string(db_.Message()) != "not an error")
        error_ = db_.Message();
    return false;
}

bool HistoryReader::Open(const std::string& path, std::string& error)
{
    lastChange_.Finalize();
    lineChanges_.Finalize();
    pending_.Finalize();
    stateById_.Finalize();
    states_.clear();
    // Where no monitor has the file open (no write-ahead log beside it), it is read as it stands:
    // a read-only connection would otherwise leave an empty log and its index behind. A monitor
    // that starts meanwhile writes into its log, not the file, until long after this read.
    const bool live = ExistsUtf8(path + "-wal");
    std::string uri = "file:";
    for (const char c : path) {
        if (c == '%' || c == '?' || c == '#')
            uri += Format("%%%02X", unsigned(static_cast<unsigned char>(c)));
        else
            uri += c;
    }
    if (!live)
        uri += "?immutable=1";
    int rc = db_.Open(uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI);
    if (rc != SQLITE_OK) {
        error = path + ": cannot be opened (" + db_.Message() + ")";
        db_.Close();
        return false;
    }
    // The monitor holds the file only for a moment at a time, and only once (recovery after a crash).
    sqlite3_busy_timeout(db_.Handle(), 2000);
    // A replay touches a few pages of every line: read in place, not copied out page by page.
    db_.Exec("PRAGMA mmap_size=2147483648");
    int inspectError = SQLITE_OK;
    switch (InspectHistoryFile(db_, inspectError, &version_)) {
    case HistoryFileKind::Ok:
        break;
    case HistoryFileKind::Error:
        error = path + ": cannot be read (" + db_.Message() + ")";
        db_.Close();
        return false;
    case HistoryFileKind::Empty:
    case HistoryFileKind::Foreign:
        error = path + ": not a line history file";
        db_.Close();
        return false;
    case HistoryFileKind::Newer:
        error = path + ": written by a later version of the monitor";
        db_.Close();
        return false;
    }
    if (version_ == kHistoryVersionRowPerChange) {
        rc = lastChange_.Prepare(
            db_, "SELECT t, state FROM changes WHERE line = ?1 AND t >= ?2 AND t <= ?3 ORDER BY t DESC LIMIT 1");
        if (rc == SQLITE_OK)
            rc = lineChanges_.Prepare(
                db_, "SELECT t, state FROM changes WHERE line = ?1 AND t >= ?2 AND t <= ?3 ORDER BY t");
    } else {
        // A line's chunks do not overlap: the last one starting at or before base, and those after.
        rc = lastChange_.Prepare(db_, "SELECT t0, t1, data FROM changes WHERE line = ?1 AND t0 <= ?3 ORDER BY t0 DESC");
        if (rc == SQLITE_OK)
            rc = lineChanges_.Prepare(
                db_, "SELECT t0, data FROM changes WHERE line = ?1 AND t0 >= (SELECT coalesce(max(t0), ?2) FROM "
                     "changes WHERE line = ?1 AND t0 <= ?2) AND t0 <= ?3 AND t1 >= ?2 ORDER BY t0");
        if (rc == SQLITE_OK)
            rc = pending_.Prepare(db_, "SELECT t0, data FROM pending WHERE t1 >= ?1 AND t0 <= ?2 ORDER BY id");
    }
    if (rc == SQLITE_OK)
        rc = stateById_.Prepare(db_, "SELECT text, fore, back FROM states WHERE id = ?1");
    if (rc != SQLITE_OK) {
        error = path + ": cannot be read (" + db_.Message() + ")";
        return false;
    }
    return true;
}

bool HistoryReader::RetainedFrom(int64_t& value)
{
    const int rc = db_.QueryInt("SELECT value FROM meta WHERE key = 'retained_from'", value);
    return rc == SQLITE_OK || Fail(rc);
}

bool HistoryReader::BaseAt(int64_t t, int64_t& base)
{
    const int rc = FindHistoryBase(db_, t, false, base);
    return rc == SQLITE_OK || Fail(rc);
}

bool HistoryReader::Span(int64_t& first, int64_t& last)
{
    Read read(db_);
    int64_t retained = 0;
    int64_t started = 0;
    int64_t sessions = 0;
    if (!RetainedFrom(retained))
        return false;
    int rc = db_.QueryInt("SELECT count(*) FROM sessions", sessions);
    if (rc == SQLITE_OK)
        rc = db_.QueryInt("SELECT min(started) FROM sessions", started);
    if (rc == SQLITE_OK)
        rc = db_.QueryInt("SELECT max(until) FROM sessions", last);
    if (rc != SQLITE_OK)
        return Fail(rc);
    first = std::max(retained, started);
    return sessions > 0;
}

int HistoryReader::LineCount(int64_t from, int64_t until)
{
    Read read(db_);
    int64_t base = 0;
    if (!BaseAt(from, base))
        return 0;
    SqliteStmt stmt;
    int rc = stmt.Prepare(db_, "SELECT max(n) FROM (SELECT max(value) AS n FROM events WHERE kind = 1 AND t >= ?1 AND "
                               "t <= ?2 UNION ALL SELECT max(lines) FROM keyframes WHERE t >= ?1 AND t <= ?2)");
    if (rc != SQLITE_OK) {
        Fail(rc);
        return 0;
    }
    stmt.Bind(1, base);
    stmt.Bind(2, until);
    int64_t n = 0;
    if (stmt.Step() == SQLITE_ROW && !stmt.IsNull(0))
        n = stmt.Int(0);
    return int(std::clamp<int64_t>(n, 0, INT32_MAX));
}

// Session starts and ends that matter for [from, until]. A session that did not end cleanly ran
// until a little after its last commit, but never into the next one.
bool HistoryReader::Sessions(int64_t from, int64_t until, std::vector<HistoryFact>& facts)
{
    SqliteStmt stmt;
    int rc = stmt.Prepare(db_, "SELECT started, until, clean FROM sessions WHERE until >= ?1 - ?2 ORDER BY started");
    if (rc != SQLITE_OK)
        return Fail(rc);
    stmt.Bind(1, from);
    stmt.Bind(2, kHistoryGraceMs);
    struct Row {
        int64_t started, until;
        bool clean;
    };
    std::vector<Row> rows;
    if (!Collect(stmt, rc, [&] { rows.push_back({stmt.Int(0), stmt.Int(1), stmt.Int(2) != 0}); }))
        return Fail(rc);
    for (size_t i = 0; i < rows.size() && rows[i].started <= until; ++i) {
        // A session covers its last moment: the gap after it starts a millisecond later.
        int64_t end = rows[i].clean ? rows[i].until + 1 : rows[i].until + kHistoryGraceMs;
        if (i + 1 < rows.size())
            end = std::min(end, rows[i + 1].started);
        facts.push_back({rows[i].started, HistoryFactKind::SessionStart, 0, 0});
        facts.push_back({end, HistoryFactKind::SessionEnd, 0, 0});
    }
    return true;
}

// Everything but the line's own changes in [from, until]: sessions, boards, the link going down,
// changes not recorded and, for line (when not -1), its cell of each picture.
bool HistoryReader::GlobalFacts(int line, int64_t from, int64_t until, std::vector<HistoryFact>& facts)
{
    if (!Sessions(from, until, facts))
        return false;
    SqliteStmt events;
    int rc = events.Prepare(db_, "SELECT t, kind, value, until FROM events WHERE t >= ?1 AND t <= ?2 AND kind IN "
                                 "(1, 2, 6) ORDER BY t");
    if (rc != SQLITE_OK)
        return Fail(rc);
    events.Bind(1, from);
    events.Bind(2, until);
    const bool ok = Collect(events, rc, [&] {
        switch (HistoryEventKind(events.Int(1))) {
        case HistoryEventKind::Board:
            facts.push_back({events.Int(0), HistoryFactKind::Board, events.Int(2), 0});
            break;
        case HistoryEventKind::LinkDown:
            facts.push_back({events.Int(0), HistoryFactKind::LinkDown, 0, 0});
            break;
        default:
            facts.push_back({events.Int(0), HistoryFactKind::NotRecorded, events.Int(2), events.Int(3)});
            break;
        }
    });
    if (!ok)
        return Fail(rc);
    if (line < 0)
        return true;
    SqliteStmt pictures;
    rc = pictures.Prepare(db_, "SELECT t, lines, cells FROM keyframes WHERE t >= ?1 AND t <= ?2 ORDER BY t");
    if (rc != SQLITE_OK)
        return Fail(rc);
    pictures.Bind(1, from);
    pictures.Bind(2, until);
    const bool pictured = Collect(pictures, rc, [&] {
        const int64_t at = pictures.Int(0);
        HistoryKeyCell cell;
        if (line < pictures.Int(1) && DecodeKeyframeLine(pictures.Blob(2), line, at, cell))
            facts.push_back({at, HistoryFactKind::Picture, cell.state, cell.since});
        else
            facts.push_back({at, HistoryFactKind::Picture, -1, at});
    });
    return pictured || Fail(rc);
}

bool HistoryReader::LineSpans(int line, int64_t from, int64_t until, std::vector<HistorySpan>& spans)
{
    spans.clear();
    Read read(db_);
    int64_t retained = 0;
    int64_t base = 0;
    if (!RetainedFrom(retained) || !BaseAt(from, base))
        return false;
    if (base == 0)
        base = from; // nothing was recording before from
    std::vector<HistoryFact> facts;
    if (!GlobalFacts(line, base, until, facts))
        return false;
    if (!LineChanges(line, base, until, false, facts))
        return false;
    std::stable_sort(facts.begin(), facts.end());
    spans = ::LineSpans(line, facts, from, until, retained);
    return true;
}

bool HistoryReader::BoardAt(int64_t t, std::vector<HistorySpan>& lines, HistoryGap& gap)
{
    lines.clear();
    Read read(db_);
    int64_t retained = 0;
    if (!RetainedFrom(retained))
        return false;
    if (t < retained) {
        gap = HistoryGap::NotRetained;
        return true;
    }
    // The session t falls in, if any.
    std::vector<HistoryFact> sessions;
    if (!Sessions(t, t, sessions))
        return false;
    int64_t started = INT64_MIN;
    for (size_t i = 0; i + 1 < sessions.size(); i += 2) {
        if (sessions[i].t <= t && t < sessions[i + 1].t)
            started = sessions[i].t;
    }
    gap = HistoryGap::NotRunning;
    if (started == INT64_MIN)
        return true;
    int64_t base = 0;
    if (!BaseAt(t, base))
        return false;

    // What the state starts from at base: a picture, else a new board, else the session's start.
    int64_t lineCount = 0;
    std::vector<HistoryKeyCell> picture;
    bool pictured = false;
    bool boarded = false;
    {
        SqliteStmt stmt;
        int rc = stmt.Prepare(db_, "SELECT lines, cells FROM keyframes WHERE t = ?1");
        if (rc != SQLITE_OK)
            return Fail(rc);
        stmt.Bind(1, base);
        if (stmt.Step() == SQLITE_ROW) {
            lineCount = stmt.Int(0);
            pictured = DecodeKeyframe(stmt.Blob(1), int(lineCount), base, picture);
        }
        if (!pictured) {
            rc = stmt.Prepare(db_, "SELECT value FROM events WHERE kind = 1 AND t = ?1 ORDER BY rowid DESC LIMIT 1");
            if (rc != SQLITE_OK)
                return Fail(rc);
            stmt.Bind(1, base);
            if (stmt.Step() == SQLITE_ROW) {
                lineCount = stmt.Int(0);
                boarded = true;
            }
        }
    }
    gap = HistoryGap::NoBoard;
    if (lineCount <= 0 || (!pictured && !boarded))
        return true;
    gap = HistoryGap::None;

    std::vector<HistoryFact> later; // the link going down and changes not recorded after base
    {
        SqliteStmt stmt;
        int rc = stmt.Prepare(db_, "SELECT t, kind, value, until FROM events WHERE t >= ?1 AND t <= ?2 AND kind IN "
                                   "(2, 6) ORDER BY t");
        if (rc != SQLITE_OK)
            return Fail(rc);
        stmt.Bind(1, base);
        stmt.Bind(2, t);
        if (!Collect(stmt, rc, [&] {
                if (HistoryEventKind(stmt.Int(1)) == HistoryEventKind::LinkDown)
                    later.push_back({stmt.Int(0), HistoryFactKind::LinkDown, 0, 0});
                else
                    later.push_back({stmt.Int(0), HistoryFactKind::NotRecorded, stmt.Int(2), stmt.Int(3)});
            }))
            return Fail(rc);
    }

    std::vector<std::pair<int64_t, int64_t>> pendingLast;
    if (version_ != kHistoryVersionRowPerChange) {
        pendingLast.assign(size_t(lineCount), {INT64_MIN, kEmptyState});
        if (!PendingLast(base, t, pendingLast))
            return false;
    }
    lines.reserve(size_t(lineCount));
    std::vector<HistoryFact> facts;
    for (int line = 0; line < lineCount; ++line) {
        facts.clear();
        facts.push_back({started, HistoryFactKind::SessionStart, 0, 0});
        if (pictured)
            facts.push_back({base, HistoryFactKind::Picture, picture[size_t(line)].state, picture[size_t(line)].since});
        else
            facts.push_back({base, HistoryFactKind::Board, lineCount, 0});
        facts.insert(facts.end(), later.begin(), later.end());
        int64_t lastT = INT64_MIN;
        int64_t lastState = kEmptyState;
        if (!LastChange(line, base, t, lastT, lastState))
            return false;
        if (!pendingLast.empty() && pendingLast[size_t(line)].first >= lastT &&
            pendingLast[size_t(line)].first != INT64_MIN) {
            lastT = pendingLast[size_t(line)].first;
            lastState = pendingLast[size_t(line)].second;
        }
        if (lastT != INT64_MIN)
            facts.push_back({lastT, HistoryFactKind::Change, lastState, 0});
        std::stable_sort(facts.begin(), facts.end());
        HistoryLineRun run(line);
        for (const HistoryFact& f : facts)
            run.Apply(f);
        HistorySpan span = run.Current();
        span.until = t;
        lines.push_back(span);
    }
    return true;
}

bool HistoryReader::LineChanges(int line, int64_t base, int64_t until, bool closed, std::vector<HistoryFact>& facts)
{
    const size_t first = facts.size();
    const auto take = [&](int, int64_t t, int64_t state) {
        if (t >= base && (t < until || (closed && t == until)))
            facts.push_back({t, HistoryFactKind::Change, state, 0});
    };
    lineChanges_.Bind(1, line);
    lineChanges_.Bind(2, base);
    lineChanges_.Bind(3, until);
    int rc = SQLITE_OK;
    bool whole = true;
    const bool rows = version_ == kHistoryVersionRowPerChange;
    if (!Collect(lineChanges_, rc, [&] {
            if (rows)
                take(line, lineChanges_.Int(0), lineChanges_.Int(1));
            else
                whole = DecodeHistoryChanges(lineChanges_.Blob(1), lineChanges_.Int(0), false, line, take) && whole;
        }))
        return Fail(rc);
    if (!rows) {
        pending_.Bind(1, base);
        pending_.Bind(2, until);
        if (!Collect(pending_, rc, [&] {
                whole = DecodeHistoryChanges(pending_.Blob(1), pending_.Int(0), true, 0,
                                             [&](int l, int64_t t, int64_t state) {
                                                 if (l == line)
                                                     take(l, t, state);
                                             }) &&
                        whole;
            }))
            return Fail(rc);
    }
    if (!whole)
        return Fail(SQLITE_CORRUPT);
    // A line keeps one change per millisecond, the last written.
    std::stable_sort(facts.begin() + std::ptrdiff_t(first), facts.end());
    std::vector<HistoryFact>::iterator out = facts.begin() + std::ptrdiff_t(first);
    for (auto it = out; it != facts.end(); ++it) {
        if (it + 1 != facts.end() && (it + 1)->t == it->t)
            continue;
        *out++ = *it;
    }
    facts.erase(out, facts.end());
    return true;
}

bool HistoryReader::LastChange(int line, int64_t base, int64_t t, int64_t& lastT, int64_t& lastState)
{
    lastT = INT64_MIN;
    lastChange_.Bind(1, line);
    lastChange_.Bind(2, base);
    lastChange_.Bind(3, t);
    int rc = lastChange_.Step();
    bool whole = true;
    if (rc == SQLITE_ROW && version_ == kHistoryVersionRowPerChange) {
        lastT = lastChange_.Int(0);
        lastState = lastChange_.Int(1);
    } else if (rc == SQLITE_ROW && lastChange_.Int(1) >= base) {
        // The newest chunk that starts by t holds the line's last change by t.
        whole = DecodeHistoryChanges(lastChange_.Blob(2), lastChange_.Int(0), false, line,
                                     [&](int, int64_t at, int64_t state) {
                                         if (at >= base && at <= t && at >= lastT) {
                                             lastT = at;
                                             lastState = state;
                                         }
                                     });
    }
    lastChange_.Reset();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return Fail(rc);
    return whole || Fail(SQLITE_CORRUPT);
}

bool HistoryReader::PendingLast(int64_t base, int64_t t, std::vector<std::pair<int64_t, int64_t>>& last)
{
    pending_.Bind(1, base);
    pending_.Bind(2, t);
    int rc = SQLITE_OK;
    bool whole = true;
    if (!Collect(pending_, rc, [&] {
            whole = DecodeHistoryChanges(pending_.Blob(1), pending_.Int(0), true, 0,
                                         [&](int line, int64_t at, int64_t state) {
                                             if (at < base || at > t || size_t(line) >= last.size())
                                                 return;
                                             auto& l = last[size_t(line)];
                                             if (at >= l.first)
                                                 l = {at, state};
                                         }) &&
                    whole;
        }))
        return Fail(rc);
    return whole || Fail(SQLITE_CORRUPT);
}

bool HistoryReader::Events(int64_t from, int64_t until, std::vector<HistoryEventRow>& events)
{
    events.clear();
    Read read(db_);
    SqliteStmt stmt;
    int rc = stmt.Prepare(db_, "SELECT t, kind, value, until FROM events WHERE t >= ?1 AND t <= ?2 ORDER BY t, rowid");
    if (rc != SQLITE_OK)
        return Fail(rc);
    stmt.Bind(1, from);
    stmt.Bind(2, until);
    return Collect(stmt, rc,
                   [&] {
                       events.push_back({stmt.Int(0), HistoryEventKind(stmt.Int(1)), stmt.Int(2), stmt.Int(3)});
                   }) ||
           Fail(rc);
}

const HistoryStateText* HistoryReader::State(int64_t id)
{
    auto it = states_.find(id);
    if (it != states_.end())
        return &it->second;
    stateById_.Bind(1, id);
    const HistoryStateText* found = nullptr;
    if (stateById_.Step() == SQLITE_ROW) {
        HistoryStateText s{std::string(stateById_.Blob(0)), uint32_t(stateById_.Int(1)), uint32_t(stateById_.Int(2))};
        found = &states_.emplace(id, std::move(s)).first->second;
    }
    stateById_.Reset();
    return found;
}
