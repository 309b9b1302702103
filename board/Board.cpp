#include "board/Board.h"

#include "common/MonitorView.h"
#include "platform/WakeFlag.h"

#include <cstring>

const TColor LinePalette[16] = {
    0x000000, 0xFF0000, 0x008000, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x008080, 0xC0C0C0,
    0x808080, 0xF0CAA6, 0x40FF00, 0xFFFF80, 0x0000FF, 0x8000FF, 0x00FFFF, 0xFFFFFF,
};

std::atomic<uint8_t> BoardBusy{0};
bool RefreshBusy = false;
std::mutex CurBoardLock;
TagMonitor* CurBoard = nullptr;

TagMonitor::TagMonitor(int lineCount)
    : Rows(new TagLineRec[size_t(lineCount < 1 ? 1 : lineCount)]), LineCount(lineCount < 1 ? 1 : lineCount)
{
}

void TagMonitor::SetCell(const char* text, size_t textLen, int line, int column, int foreIndex, int backIndex)
{
    if (line >= 0 && line < LineCount && column >= 0 && column < kColsPerLine) {
        TagLineCols& cell = Rows[size_t(line)].Cols[column];
        cell.Text.assign(text, textLen); // reuses the cell's storage once it has grown
        if (foreIndex >= 0 && foreIndex <= 15)
            cell.ForeColor = LinePalette[foreIndex];
        if (backIndex >= 0 && backIndex <= 15)
            cell.BackColor = LinePalette[backIndex];
        cell.Changed = true;
    } else if (line == -1) {
        if (CurView)
            CurView->SetSummaryText(std::string(text, textLen));
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
    std::lock_guard lock(board.Lock);
    board.SetCell(text, std::strlen(text), line, column, foreIndex, backIndex);
}

bool EnsureBoard(int lineCount, WakeFlag& stop)
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
            std::lock_guard lock(CurBoardLock);
            CurBoard = fresh.release();
        }
        delete current;
        if (CurView && !CurView->LayoutGrid(*replacement, stop))
            return false; // stopping: BoardBusy stays raised, StopMonitor frees the board
        BoardBusy.fetch_and(uint8_t(~kBusyReplacing));
        return true;
    }
    if (!current) {
        // A first board is published only once the grid is laid out for it.
        auto board = std::make_unique<TagMonitor>(lineCount);
        if (CurView && !CurView->LayoutGrid(*board, stop))
            return false;
        std::lock_guard lock(CurBoardLock);
        CurBoard = board.release();
    }
    return true;
}

void DestroyBoard()
{
    std::lock_guard lock(CurBoardLock);
    delete CurBoard;
    CurBoard = nullptr;
}
