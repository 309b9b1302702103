#include "sim/SimFeed.h"

SimFeed::SimFeed(const SimModel& model)
    : model_(model), owed_(static_cast<size_t>(model.CellCount()), true),
      owedCount_(static_cast<size_t>(model.CellCount()))
{
}

void SimFeed::Owe(int cell)
{
    if (!owed_[static_cast<size_t>(cell)]) {
        owed_[static_cast<size_t>(cell)] = true;
        ++owedCount_;
    }
}

void SimFeed::MarkChanged(const SimChanges& changes)
{
    for (int cell : changes.cells) {
        Owe(cell);
    }
    summaryOwed_ = summaryOwed_ || changes.summary;
}

std::string SimFeed::NextFrame(LengthMode mode, size_t maxFrame)
{
    FrameWriter frame(model_.LineCount(), maxFrame);
    // The summary goes first, except right after an answer that carried it alone because the next
    // owed cell (a long text) did not fit beside it: that cell then gets the answer to itself.
    // Otherwise a summary that changes at every step would keep such a cell, and every cell after
    // it, from ever being sent.
    bool summarySent = false;
    if (summaryOwed_ && !cellFirst_ && frame.Add(-1, 0, 0, 15, model_.Summary())) {
        summaryOwed_ = false;
        summarySent = true;
    }
    const int total = model_.CellCount();
    std::vector<int> sent;
    for (int n = 0; n < total && owedCount_ > sent.size(); ++n) {
        const int index = (cursor_ + n) % total;
        if (!owed_[static_cast<size_t>(index)]) {
            continue;
        }
        const SimCell& cell = model_.Cell(index);
        if (!frame.Add(index / 8, index % 8, cell.fore, cell.back, cell.text)) {
            break;
        }
        sent.push_back(index);
    }
    // A binary length that reads as text would wreck the reader's framing: give back records until
    // the body size is safe. Each record is at least 6 bytes, so this ends after a few.
    while (!sent.empty() && EffectiveMode(frame.BodySize(), mode) == LengthMode::Binary &&
           BinaryLengthLooksLikeText(frame.BodySize())) {
        frame.DropLast();
        sent.pop_back();
    }
    for (int index : sent) {
        owed_[static_cast<size_t>(index)] = false;
    }
    owedCount_ -= sent.size();
    if (!sent.empty()) {
        cursor_ = (sent.back() + 1) % total;
    }
    cellFirst_ = summarySent && sent.empty() && owedCount_ > 0;
    return frame.Finish(mode);
}

std::string OversizeFrame(const SimModel& model)
{
    FrameWriter frame(model.LineCount(), 2 * kMaxFrameBytes);
    for (int n = 0; frame.FrameSize() <= kMaxFrameBytes; ++n) {
        const int index = n % model.CellCount();
        const SimCell& cell = model.Cell(index);
        frame.Add(index / 8, index % 8, cell.fore, cell.back, cell.text);
    }
    return frame.Finish(LengthMode::Binary);
}

std::string GarbageAnswer()
{
    // The sixteenth byte is a NUL, written out so that it is plainly part of the junk.
    return std::string("0001\xFFgarbage\x7F\x80\xFE\0", 16);
}
