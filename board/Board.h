#pragma once
// The line board: eight coloured text cells per telephone line, written by the receive worker and
// read by the grid on the GUI thread.

#include "board/BoardLock.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

inline constexpr int kColsPerLine = 8;
inline constexpr int kMaxLines = 2048;

// 0x00BBGGRR: red in the lowest byte.
using TColor = uint32_t;
extern const TColor LinePalette[16];

// Moments on the board's clock: monotonic, so a change of the wall clock never makes a line look
// stuck or fresh.
using BoardTime = std::chrono::steady_clock::time_point;
using BoardClockFn = BoardTime (*)();
// The clock a board reads when it is constructed and when a cell's text changes; tests replace it
// before they construct a board. Default std::chrono::steady_clock::now.
extern std::atomic<BoardClockFn> BoardClock;

struct TagLineCols {
    bool Changed = false;
    std::string Text;
    // TextHash(Text), kept by SetCell: counting lines per text groups them by it instead of
    // comparing texts that a server may make 30,000 bytes long.
    uint64_t Hash = 0;
    TColor ForeColor = 0x000000;
    TColor BackColor = 0xFFFFFF;
    // When Text last became what it is: a server that sends the same text again does not restart
    // it, a colour change alone does not either. The board's construction for a cell never written.
    BoardTime Since{};
};

struct TagLineRec {
    TagLineCols Cols[kColsPerLine];
};

struct TagMonitor {
    // Reads clock once: every cell is "since" the construction. Without a clock, BoardClock's.
    explicit TagMonitor(int lineCount, BoardClockFn clock = nullptr);

    std::unique_ptr<TagLineRec[]> Rows;
    int32_t LineCount;
    BoardClockFn Clock;
    BoardTime Created;

    // Taken by the writer (once per frame), the timer's refresh and the cell drawing, so a cell
    // is never read while it is written.
    mutable BoardMutex Lock{"the board's Lock"};

    // Callers hold Lock. Line -1 hands the text to the top panel instead of a cell. A changed text
    // restarts the cell's Since at now; the form without it reads Clock, only when the text changed.
    // Writers of many cells at one moment (a frame) read the clock once and pass it. A changed text
    // of the status column (kHistoryColumn) is handed to the journal, when one listens (CurHistory).
    void SetCell(const char* text, size_t textLen, int line, int column, int foreIndex, int backIndex);
    void SetCell(const char* text, size_t textLen, int line, int column, int foreIndex, int backIndex, BoardTime now);
    // Returns 0 with the cell's colours, -1 for a cell outside the board. Caller holds Lock.
    int GetCellColors(int line, int column, TColor& foreColor, TColor& backColor) const;
};

// Convenience for callers that write a single cell: takes the board's lock around SetCell.
void SetCell(TagMonitor& board, const char* text, int line, int column, int foreIndex, int backIndex);

// Process-wide board state shared by the session, the worker and the grid.
//
// BoardBusy keeps refresh and painting away from the board. Two causes raise it and are kept apart,
// so a stop that falls into a board replacement still stops:
inline constexpr uint8_t kBusyStopped = 1;   // no session runs (set by StopMonitor)
inline constexpr uint8_t kBusyReplacing = 2; // EnsureBoard is replacing the board
extern std::atomic<uint8_t> BoardBusy;

// CurBoard is swapped under CurBoardLock; readers on the GUI thread go through ReadCurBoard
// (board/BoardRead.h), which takes the lock, checks BoardBusy and then locks the board itself.
extern BoardMutex CurBoardLock;
extern TagMonitor* CurBoard;

class WakeFlag;

// Makes CurBoard a laid-out board of lineCount lines (see the .cpp for the order of publishing) and
// returns it: only the worker replaces the board, so the worker may keep using it. A new board is
// reported to the journal (CurHistory), as is the board's end in DestroyBoard. Returns null when
// stop was set before the layout could run: a first board is then dropped and CurBoard stays
// absent; a replacement stays in CurBoard, not laid out, with kBusyReplacing still raised so the
// grid side never reads it, until StopMonitor frees it.
TagMonitor* EnsureBoard(int lineCount, WakeFlag& stop);

// Frees CurBoard (StopMonitor, after the worker has ended).
void DestroyBoard();
