#include "history/Sqlite.h"

int SqliteDb::Open(const std::string& path, int flags)
{
    Close();
    return sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
}

void SqliteDb::Close()
{
    // Every statement is finalized by its owner before the database closes, so this never fails
    // with SQLITE_BUSY.
    sqlite3_close(db_);
    db_ = nullptr;
}

int SqliteDb::Exec(const char* sql)
{
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
}

int SqliteDb::QueryInt(const char* sql, int64_t& value, int64_t fallback)
{
    SqliteStmt stmt;
    int rc = stmt.Prepare(*this, sql);
    if (rc != SQLITE_OK)
        return rc;
    rc = stmt.Step();
    if (rc == SQLITE_ROW) {
        value = stmt.IsNull(0) ? fallback : stmt.Int(0);
        return SQLITE_OK;
    }
    value = fallback;
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int SqliteDb::QueryText(const char* sql, std::string& value)
{
    SqliteStmt stmt;
    int rc = stmt.Prepare(*this, sql);
    if (rc != SQLITE_OK)
        return rc;
    rc = stmt.Step();
    if (rc == SQLITE_ROW) {
        value = stmt.Blob(0);
        return SQLITE_OK;
    }
    value.clear();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

std::string SqliteDb::Message() const
{
    return db_ ? sqlite3_errmsg(db_) : "out of memory";
}

void SqliteStmt::Finalize()
{
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
}

int SqliteStmt::Prepare(const SqliteDb& db, const char* sql)
{
    Finalize();
    return sqlite3_prepare_v3(db.Handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
}

void SqliteStmt::BindBlob(int index, std::string_view bytes)
{
    // A zero-length blob, not NULL, for an empty text.
    sqlite3_bind_blob64(stmt_, index, bytes.empty() ? "" : bytes.data(), bytes.size(), SQLITE_TRANSIENT);
}

int SqliteStmt::Run()
{
    const int rc = sqlite3_step(stmt_);
    sqlite3_reset(stmt_);
    return rc == SQLITE_ROW ? SQLITE_DONE : rc;
}

std::string_view SqliteStmt::Blob(int column) const
{
    const void* data = sqlite3_column_blob(stmt_, column);
    const int size = sqlite3_column_bytes(stmt_, column);
    if (!data || size <= 0)
        return {};
    return {static_cast<const char*>(data), size_t(size)};
}
