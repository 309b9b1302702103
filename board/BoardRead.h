#pragma once
// The one way the GUI thread reads the current board: the reference first, then the board, as the
// worker's replacement of the board expects.

#include "board/Board.h"
#include "board/BoardLock.h"

#include <utility>

enum class BoardState {
    Read,      // the callable ran on the current board
    None,      // no board: before the first answer, or no session runs
    Replacing, // a board of another line count is being laid out; its cells are not to be read yet
};

// Runs read(board) with CurBoardLock and the board's Lock held, when there is a board to read. The
// callable must only read and copy: no box, no dialog, no processEvents, nothing that runs an event
// loop (the loop would paint the grid and tick the timer, which take these locks again). Ask the
// operator after this returns.
template <class Read> BoardState ReadCurBoard(Read&& read, LockPlace where = LockPlace::Here())
{
    BoardLock reference(CurBoardLock, where);
    const uint8_t busy = BoardBusy.load();
    if (!CurBoard || (busy & kBusyStopped) != 0)
        return BoardState::None;
    if (busy != 0)
        return BoardState::Replacing;
    BoardLock cells(CurBoard->Lock, where);
    std::forward<Read>(read)(*CurBoard);
    return BoardState::Read;
}
