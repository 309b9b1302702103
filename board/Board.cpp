#include "board/Board.h"

#include "board/TextHash.h"
#include "common/HistorySink.h"
#include "common/MonitorView.h"
#include "platform/WakeFlag.h"

#include <cstring>

const TColor LinePalette[16] = {
    0x000000, 0xFF0000, 0x008000, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x008080, 0xC0C0C0,
    0x808080, 0xF0CAA6, 0x40FF00, 0xFFFF80, 0x0000FF, 0x8000FF, 0x00FFFF, 0xFFFFFF,
};

std::atomic<BoardClockFn> BoardClock{&std::chrono::steady_clock::now};
std::atomic<uint8_t> BoardBusy{0};
BoardMutex CurBoardLock("CurBoardLock");
TagMonitor* CurBoard = nullptr;

TagMonitor::TagMonitor(int lineCount, BoardClockFn clock)
    : Rows(new TagLineRec[size_t(lineCount < 1 ? 1 : lineCount)]), LineCount(lineCount < 1 ? 1 : lineCount),
      Clock(clock ? clock : BoardClock.load()), Created(Clock())
{
    for (int i = 0; i < LineCount; ++i) {
        for (TagLineCols& cell : Rows[size_t(i)].Cols)
            cell.Since = Created;
    }
}

namespace {

// Writes one cell; true when its text changed. The text is compared before it is copied, so a
// repeated text costs no copy and a changed one reuses the cell's storage once it has grown.
bool WriteCell(TagLineCols& cell, const char* text, size_t textLen, int foreIndex, int backIndex)
{
    const bool changed = cell.Text.size() != textLen || std::memcmp(cell.Text.data(), text, textLen) != 0;
    if (changed) {
        cell.Text.assign(text, textLen);
        cell.Hash = TextHash(cell.Text);
    }
    if (foreIndex >= 0 && foreIndex <= 15)
        cell.ForeColor = LinePalette[foreIndex];
    if (backIndex >= 0 && backIndex <= 15)
        cell.BackColor = LinePalette[backIndex];
    cell.Changed = true;
    return changed;
}

// A changed status goes to the journal, when one listens.
void NoteStatus(int line, const TagLineCols& cell)
{
    if (HistorySink* history = History())
        history->StatusChanged(line, cell.Text, cell.ForeColor, cell.BackColor, cell.Since);
}

void NoteBoard(int lineCount)
{
    if (HistorySink* history = History())
        history->BoardChanged(lineCount);
}

void ShowSummary(const char* text, size_t textLen)
{
    if (CurView)
        CurView->SetSummaryText(std::string(text, textLen));
}

} // namespace

void TagMonitor::SetCell(const char* text, size_t textLen, int line, int column, int foreIndex, int backIndex)
{
    if (line >= 0 && line < LineCount && column >= 0 && column < kColsPerLine) {
        TagLineCols& cell = Rows[size_t(line)].Cols[column];
        if (WriteCell(cell, text, textLen, foreIndex, backIndex)) {
            cell.Since = Clock();
            if (column == kHistoryColumn)
                NoteStatus(line, cell);
        }
    } else if (line == -1) {
        ShowSummary(text, textLen);
    }
}

void TagMonitor::SetCell(const char* text, size_t textLen, int line, int column, int foreIndex, int backIndex,
                         BoardTime now)
{
    if (line >= 0 && line < LineCount && column >= 0 && column < kColsPerLine) {
        TagLineCols& cell = Rows[size_t(line)].Cols[column];
        if (WriteCell(cell, text, textLen, foreIndex, backIndex)) {
            cell.Since = now;
            if (column == kHistoryColumn)
                NoteStatus(line, cell);
        }
    } else if (line == -1) {
        ShowSummary(text, textLen);
    }
}

int TagMonitor::GetCellColors(int line, int column, TColor& foreColor, TColor& backColor) const
{
    if (line < 0 || line >= LineCount || column < 0 || column >= kColsPerLine)
        return -1;
    const TagLineCols& cell = Rows[size_t(line)].Cols[column];
    foreColor = cell.ForeColor;
    backColor = cell.BackColor;
    return 0;
}

void SetCell(TagMonitor& board, const char* text, int line, int column, int foreIndex, int backIndex)
{
    BoardLock lock(board.Lock);
    board.SetCell(text, std::strlen(text), line, column, foreIndex, backIndex);
}

TagMonitor* EnsureBoard(int lineCount, WakeFlag& stop)
{
    // Only the worker replaces the board and only StopMonitor (after the worker has ended) frees
    // it, so reading the pointer here needs no lock.
    TagMonitor* current = CurBoard;
    if (current && current->LineCount != lineCount) {
        BoardBusy.fetch_or(kBusyReplacing);
        auto fresh = std::make_unique<TagMonitor>(lineCount);
        TagMonitor* replacement = fresh.get();
        {
            // Waits for a refresh or drawing that had already started on the old board; any that
            // starts later sees BoardBusy raised and leaves the board alone.
            BoardLock lock(CurBoardLock);
            CurBoard = fresh.release();
        }
        delete current;
        NoteBoard(lineCount);
        if (CurView && !CurView->LayoutGrid(*replacement, stop))
            return nullptr; // stopping: BoardBusy stays raised, StopMonitor frees the board
        BoardBusy.fetch_and(uint8_t(~kBusyReplacing));
        return replacement;
    }
    if (!current) {
        // A first board is published only once the grid is laid out for it.
        auto board = std::make_unique<TagMonitor>(lineCount);
        if (CurView && !CurView->LayoutGrid(*board, stop))
            return nullptr;
        TagMonitor* published = board.release();
        {
            BoardLock lock(CurBoardLock);
            CurBoard = published;
        }
        NoteBoard(lineCount);
        return published;
    }
    return current;
}

void DestroyBoard()
{
    bool had = false;
    {
        BoardLock lock(CurBoardLock);
        had = CurBoard != nullptr;
        delete CurBoard;
        CurBoard = nullptr;
    }
    if (had)
        NoteBoard(0);
}
