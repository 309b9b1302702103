#include "history/HistoryChanges.h"

#include "history/Sqlite.h"

#include <vector>

namespace {

int Done(int rc)
{
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// A converted chunk spans at most this long, so a reader decodes little beyond what it asked for.
constexpr int64_t kMigratedChunkMs = int64_t(3600) * 1000;

} // namespace

int ForEachHistoryChange(SqliteDb& db, const std::function<void(const HistoryChangeRow&)>& take)
{
    int64_t version = 0;
    int rc = db.QueryInt("PRAGMA user_version", version);
    if (rc != SQLITE_OK)
        return rc;
    SqliteStmt stmt;
    if (version == kHistoryVersionRowPerChange) {
        if ((rc = stmt.Prepare(db, "SELECT line, t, state FROM changes ORDER BY line, t")) != SQLITE_OK)
            return rc;
        while ((rc = stmt.Step()) == SQLITE_ROW)
            take({int(stmt.Int(0)), stmt.Int(1), stmt.Int(2)});
        return Done(rc);
    }
    bool whole = true;
    const auto add = [&](int line, int64_t t, int64_t state) { take({line, t, state}); };
    if ((rc = stmt.Prepare(db, "SELECT line, t0, data FROM changes ORDER BY line, t0")) != SQLITE_OK)
        return rc;
    while ((rc = stmt.Step()) == SQLITE_ROW)
        whole = DecodeHistoryChanges(stmt.Blob(2), stmt.Int(1), false, int(stmt.Int(0)), add) && whole;
    if ((rc = Done(rc)) != SQLITE_OK)
        return rc;
    if ((rc = stmt.Prepare(db, "SELECT t0, data FROM pending ORDER BY id")) != SQLITE_OK)
        return rc;
    while ((rc = stmt.Step()) == SQLITE_ROW)
        whole = DecodeHistoryChanges(stmt.Blob(1), stmt.Int(0), true, 0, add) && whole;
    rc = Done(rc);
    return rc == SQLITE_OK && !whole ? SQLITE_CORRUPT : rc;
}

int InsertHistoryChunk(SqliteDb& db, int line, HistoryChangeBlob& chunk)
{
    SqliteStmt insert;
    int rc = insert.Prepare(db, "INSERT INTO changes(line, t0, t1, n, data) VALUES(?1, ?2, ?3, ?4, ?5) "
                                "ON CONFLICT DO NOTHING");
    if (rc != SQLITE_OK)
        return rc;
    insert.Bind(1, line);
    insert.Bind(2, chunk.T0());
    insert.Bind(3, chunk.T1());
    insert.Bind(4, chunk.Count());
    insert.BindBlob(5, chunk.Data());
    if ((rc = insert.Run()) != SQLITE_DONE)
        return rc;
    if (sqlite3_changes(db.Handle()) == 1)
        return SQLITE_OK;
    // The chunk already there came first: its changes go first.
    SqliteStmt old;
    if ((rc = old.Prepare(db, "DELETE FROM changes WHERE line = ?1 AND t0 = ?2 RETURNING data")) != SQLITE_OK)
        return rc;
    old.Bind(1, line);
    old.Bind(2, chunk.T0());
    std::vector<HistoryChangeRow> rows;
    bool whole = true;
    while ((rc = old.Step()) == SQLITE_ROW) {
        whole = DecodeHistoryChanges(old.Blob(0), chunk.T0(), false, line,
                                     [&](int l, int64_t t, int64_t state) {
                                         rows.push_back({l, t, state});
                                     }) &&
                whole;
    }
    if ((rc = Done(rc)) != SQLITE_OK)
        return rc;
    if (!whole)
        return SQLITE_CORRUPT;
    old.Finalize();
    DecodeHistoryChanges(chunk.Data(), chunk.T0(), false, line, [&](int l, int64_t t, int64_t state) {
        rows.push_back({l, t, state});
    });
    HistoryChangeBlob merged(false);
    for (const HistoryChangeRow& r : rows)
        merged.Add(line, r.t, r.state);
    insert.Bind(1, line);
    insert.Bind(2, merged.T0());
    insert.Bind(3, merged.T1());
    insert.Bind(4, merged.Count());
    insert.BindBlob(5, merged.Data());
    return Done(insert.Run());
}

int MigrateHistoryRowPerChange(SqliteDb& db)
{
    int rc = db.Exec("CREATE TABLE chunked(line INTEGER NOT NULL, t0 INTEGER NOT NULL, t1 INTEGER NOT NULL,"
                     " n INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(line, t0)) WITHOUT ROWID");
    SqliteStmt rows;
    SqliteStmt insert;
    if (rc == SQLITE_OK)
        rc = rows.Prepare(db, "SELECT line, t, state FROM changes ORDER BY line, t");
    if (rc == SQLITE_OK)
        rc = insert.Prepare(db, "INSERT INTO chunked(line, t0, t1, n, data) VALUES(?1, ?2, ?3, ?4, ?5)");
    if (rc != SQLITE_OK)
        return rc;
    HistoryChangeBlob chunk(false);
    int line = -1;
    const auto flush = [&] {
        if (chunk.Empty())
            return SQLITE_OK;
        insert.Bind(1, line);
        insert.Bind(2, chunk.T0());
        insert.Bind(3, chunk.T1());
        insert.Bind(4, chunk.Count());
        insert.BindBlob(5, chunk.Data());
        chunk.Clear();
        return Done(insert.Run());
    };
    while ((rc = rows.Step()) == SQLITE_ROW) {
        const int rowLine = int(rows.Int(0));
        const int64_t t = rows.Int(1);
        if (rowLine != line || (!chunk.Empty() && t - chunk.T0() >= kMigratedChunkMs)) {
            if ((rc = flush()) != SQLITE_OK)
                return rc;
            line = rowLine;
        }
        chunk.Add(line, t, rows.Int(2));
    }
    if ((rc = Done(rc)) != SQLITE_OK || (rc = flush()) != SQLITE_OK)
        return rc;
    rows.Finalize();
    insert.Finalize();
    return db.Exec("DROP TABLE changes;"
                   "ALTER TABLE chunked RENAME TO changes;"
                   "CREATE TABLE pending(id INTEGER PRIMARY KEY, t0 INTEGER NOT NULL, t1 INTEGER NOT NULL,"
                   " n INTEGER NOT NULL, data BLOB NOT NULL);"
                   "PRAGMA user_version = 2;");
}
