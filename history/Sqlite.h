#pragma once
// The little of SQLite's C API the journal and its readers use, with the handles closed by their
// owners. Results are SQLite's codes (SQLITE_OK, SQLITE_ROW, SQLITE_DONE, ...).

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

class SqliteDb {
public:
    SqliteDb() = default;
    ~SqliteDb() { Close(); }
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;

    // flags as sqlite3_open_v2's. A handle is kept even when the open fails, for its message.
    int Open(const std::string& path, int flags);
    void Close();
    sqlite3* Handle() const { return db_; }
    bool IsOpen() const { return db_ != nullptr; }

    int Exec(const char* sql);
    // The first column of the first row of sql as an integer; fallback when there is no row.
    int QueryInt(const char* sql, int64_t& value, int64_t fallback = 0);
    int QueryText(const char* sql, std::string& value);
    std::string Message() const;

private:
    sqlite3* db_ = nullptr;
};

class SqliteStmt {
public:
    SqliteStmt() = default;
    ~SqliteStmt() { Finalize(); }
    SqliteStmt(const SqliteStmt&) = delete;
    SqliteStmt& operator=(const SqliteStmt&) = delete;

    int Prepare(const SqliteDb& db, const char* sql);
    // A database closes only once none of its statements is left.
    void Finalize();
    bool IsPrepared() const { return stmt_ != nullptr; }

    // Parameters count from 1, columns from 0. Bound texts and blobs are copied.
    void Bind(int index, int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
    void BindBlob(int index, std::string_view bytes);
    int Step() { return sqlite3_step(stmt_); }
    // Ready for the next Bind and Step; returns the last Step's error, if any.
    int Reset() { return sqlite3_reset(stmt_); }
    // Steps once and resets: for statements that return no row.
    int Run();

    int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
    bool IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
    std::string_view Blob(int column) const;

private:
    sqlite3_stmt* stmt_ = nullptr;
};
