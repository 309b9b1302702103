#include "history/HistorySchema.h"

#include "history/Sqlite.h"

namespace {

// Changes are kept per line in chunks keyed by line and first time, so one line's history and a
// line's state at a moment are each a walk down one b-tree: a chunk holds what one line did between
// two folds, as (time, state) varints. Until a fold, the writer appends each commit's changes of
// every line as one row of pending at the right edge of its b-tree, which dirties only new pages.
// A status text with its colours is a state, stored once; the palette makes a few dozen of them the
// usual count.
const char kSchema[] = R"(
CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE states(id INTEGER PRIMARY KEY, text BLOB NOT NULL, fore INTEGER NOT NULL, back INTEGER NOT NULL,
                    last INTEGER NOT NULL);
CREATE TABLE changes(line INTEGER NOT NULL, t0 INTEGER NOT NULL, t1 INTEGER NOT NULL, n INTEGER NOT NULL,
                     data BLOB NOT NULL, PRIMARY KEY(line, t0)) WITHOUT ROWID;
CREATE TABLE pending(id INTEGER PRIMARY KEY, t0 INTEGER NOT NULL, t1 INTEGER NOT NULL, n INTEGER NOT NULL,
                     data BLOB NOT NULL);
CREATE TABLE events(t INTEGER NOT NULL, kind INTEGER NOT NULL, value INTEGER NOT NULL, until INTEGER NOT NULL);
CREATE INDEX events_t ON events(t);
CREATE TABLE keyframes(t INTEGER PRIMARY KEY, lines INTEGER NOT NULL, cells BLOB NOT NULL);
CREATE TABLE sessions(started INTEGER PRIMARY KEY, until INTEGER NOT NULL, clean INTEGER NOT NULL);
INSERT INTO meta VALUES('retained_from', 0);
INSERT INTO states VALUES(0, x'', 0, 16777215, 0);
PRAGMA application_id = 1366706225;
PRAGMA user_version = 2;
)";
static_assert(kHistoryApplicationId == 1366706225 && kHistoryVersion == 2, "kSchema spells both out");

bool GetCell(std::string_view blob, size_t& pos, int64_t at, HistoryKeyCell& cell)
{
    uint64_t state = 0;
    uint64_t age = 0;
    if (!GetVarint(blob, pos, state) || !GetVarint(blob, pos, age))
        return false;
    cell.state = int64_t(state);
    cell.since = at - int64_t(age);
    return true;
}

} // namespace

void PutVarint(std::string& out, uint64_t v)
{
    while (v >= 0x80) {
        out += char(uint8_t(v) | 0x80);
        v >>= 7;
    }
    out += char(v);
}

int CreateHistorySchema(SqliteDb& db)
{
    return db.Exec(kSchema);
}

int FindHistoryBase(SqliteDb& db, int64_t limit, bool after, int64_t& base)
{
    const char* sql = after ? "SELECT min(t) FROM (SELECT min(t) AS t FROM keyframes WHERE t > ?1"
                              " UNION ALL SELECT min(t) FROM events WHERE kind = 1 AND t > ?1"
                              " UNION ALL SELECT min(started) FROM sessions WHERE started > ?1)"
                            : "SELECT max(t) FROM (SELECT max(t) AS t FROM keyframes WHERE t <= ?1"
                              " UNION ALL SELECT max(t) FROM events WHERE kind = 1 AND t <= ?1"
                              " UNION ALL SELECT max(started) FROM sessions WHERE started <= ?1)";
    SqliteStmt stmt;
    int rc = stmt.Prepare(db, sql);
    if (rc != SQLITE_OK)
        return rc;
    stmt.Bind(1, limit);
    base = 0;
    if ((rc = stmt.Step()) == SQLITE_ROW) {
        base = stmt.IsNull(0) ? 0 : stmt.Int(0);
        return SQLITE_OK;
    }
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

HistoryFileKind InspectHistoryFile(SqliteDb& db, int& sqliteError, int64_t* fileVersion)
{
    int64_t appId = 0;
    int64_t version = 0;
    int64_t tables = 0;
    sqliteError = db.QueryInt("PRAGMA application_id", appId);
    if (sqliteError == SQLITE_OK)
        sqliteError = db.QueryInt("PRAGMA user_version", version);
    if (sqliteError == SQLITE_OK)
        sqliteError = db.QueryInt("SELECT count(*) FROM sqlite_schema", tables);
    if (sqliteError != SQLITE_OK)
        return HistoryFileKind::Error;
    if (appId == 0 && version == 0 && tables == 0)
        return HistoryFileKind::Empty;
    if (appId != kHistoryApplicationId)
        return HistoryFileKind::Foreign;
    if (fileVersion)
        *fileVersion = version;
    return version > kHistoryVersion ? HistoryFileKind::Newer : HistoryFileKind::Ok;
}

std::string EncodeKeyframe(const std::vector<HistoryKeyCell>& cells, int64_t at)
{
    std::string out;
    out.reserve(cells.size() * 5);
    for (const HistoryKeyCell& cell : cells) {
        PutVarint(out, uint64_t(cell.state));
        PutVarint(out, uint64_t(cell.since < at ? at - cell.since : 0));
    }
    return out;
}

bool DecodeKeyframe(std::string_view blob, int lines, int64_t at, std::vector<HistoryKeyCell>& cells)
{
    cells.assign(size_t(lines < 0 ? 0 : lines), HistoryKeyCell{});
    size_t pos = 0;
    for (HistoryKeyCell& cell : cells) {
        if (!GetCell(blob, pos, at, cell))
            return false;
    }
    return pos == blob.size();
}

bool DecodeKeyframeLine(std::string_view blob, int line, int64_t at, HistoryKeyCell& cell)
{
    size_t pos = 0;
    for (int i = 0; i <= line; ++i) {
        if (!GetCell(blob, pos, at, cell))
            return false;
    }
    return line >= 0;
}
