#pragma once
// The line history file: its schema, shared by the journal that writes it and the readers (the
// probe, the history window). docs/DESIGN.md describes the tables.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class SqliteDb;

// PRAGMA application_id of a history file ("QvH1"), and PRAGMA user_version of this schema. A file
// of a later version is left alone by the journal and read by no reader. Version 1 kept one row of
// changes per change; the journal converts such a file when it opens it, the readers read it as it is.
inline constexpr int64_t kHistoryApplicationId = 0x51764831;
inline constexpr int64_t kHistoryVersion = 2;
inline constexpr int64_t kHistoryVersionRowPerChange = 1;

// The state every line of a new board starts in: no text, the cells' default colours.
inline constexpr int64_t kEmptyState = 0;

// events.kind
enum class HistoryEventKind : int {
    Board = 1,        // value: the new board's line count; 0 when the board went away
    LinkDown = 2,     // the link to the server went down
    LinkUp = 3,       // and came back
    OverdueStart = 4, // the awaited answer became overdue
    OverdueEnd = 5,   // it came
    NotRecorded = 6,  // value changes could not be recorded, the first at t, the last at until
};

// Creates the tables of an empty file in the open transaction.
int CreateHistorySchema(SqliteDb& db);

// The newest moment at or before limit (with after: the oldest after it) from which the state of
// every line follows without older rows: a picture of the board, a new board, a session's start.
// base is 0 when there is none.
int FindHistoryBase(SqliteDb& db, int64_t limit, bool after, int64_t& base);

// What a file holds, read without writing. Ok: a history file this program reads and writes; Empty:
// a database without tables (a new file); Foreign: some other database; Newer: a history file of a
// later version. Other results are SQLite's errors (SQLITE_NOTADB for a file that is no database).
enum class HistoryFileKind { Ok, Empty, Foreign, Newer, Error };
// fileVersion, when given, receives the user_version of an Ok or Newer file.
HistoryFileKind InspectHistoryFile(SqliteDb& db, int& sqliteError, int64_t* fileVersion = nullptr);

// LEB128 varints, as the keyframes, chunks and pending rows store their numbers. Reading is inline:
// a fold decodes every change it folds.
void PutVarint(std::string& out, uint64_t v);
inline bool GetVarint(std::string_view in, size_t& pos, uint64_t& v)
{
    v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (pos >= in.size())
            return false;
        const auto byte = uint8_t(in[pos++]);
        v |= uint64_t(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            return true;
    }
    return false;
}

// A keyframe: every line's state and since when it has held it, as the board showed them.
struct HistoryKeyCell {
    int64_t state = kEmptyState;
    int64_t since = 0; // UTC ms, at most the keyframe's moment
};
// keyframes.cells: per line the state and the milliseconds from since to the keyframe, as varints.
std::string EncodeKeyframe(const std::vector<HistoryKeyCell>& cells, int64_t at);
// False when the blob is cut short or holds more than lines cells.
bool DecodeKeyframe(std::string_view blob, int lines, int64_t at, std::vector<HistoryKeyCell>& cells);
// Just one line's cell, without decoding the others' into memory.
bool DecodeKeyframeLine(std::string_view blob, int line, int64_t at, HistoryKeyCell& cell);
