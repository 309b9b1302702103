#pragma once
// What one client has not yet been sent. A new client is owed every cell and the summary; after
// that, the cells that changed. Each answer carries as many owed cells as fit one frame.

#include "sim/SimFrame.h"
#include "sim/SimModel.h"

#include <string>
#include <vector>

class SimFeed {
public:
    explicit SimFeed(const SimModel& model);

    void MarkChanged(const SimChanges& changes);

    // The next answer: the summary when owed, then owed cells in line order, continuing where the
    // previous answer stopped and wrapping around, so every owed cell is sent once before any cell
    // is sent again. What does not fit within maxFrame stays owed. A cell that fits a frame of its
    // own is sent within two answers of its turn, however often the summary changes.
    std::string NextFrame(LengthMode mode, size_t maxFrame = kMaxFrameBytes);

    size_t OwedCells() const { return owedCount_; }
    bool SummaryOwed() const { return summaryOwed_; }

private:
    void Owe(int cell);

    const SimModel& model_;
    std::vector<bool> owed_;
    size_t owedCount_ = 0;
    bool summaryOwed_ = true;
    bool cellFirst_ = false; // the next answer starts with the owed cells, not the summary
    int cursor_ = 0;
};

// A well-formed frame of all cells, repeated as needed, that is longer than the monitor's buffer.
std::string OversizeFrame(const SimModel& model);

// Bytes no frame reader accepts: a length field of 1 (a body too short for the line count), then junk.
std::string GarbageAnswer();
