// The answer-frame decoder fed as the receive worker feeds it: bytes appended to the link's buffer
// in reads whose sizes the input chooses, FrameReady and ParseFrame after each read, the buffer
// emptied after every rejection as a reconnection does. Each decision, and each log message, is
// checked against a model of the frame format as it happens, and the bytes the link does not hold
// are poisoned, so a read past them is caught even though they lie inside the buffer.
//
// Input: byte 0 picks the board present at the start (bits 0-1) and the read sizes (bits 2-3),
// byte 1 seeds the read sizes, the rest is the byte stream from the server.

#include "FuzzSupport.h"

#include "board/Board.h"
#include "common/MonitorView.h"
#include "link/Link.h"
#include "link/Protocol.h"
#include "platform/WakeFlag.h"
#include "settings/EventLog.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FUZZ_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define FUZZ_ASAN 1
#endif
#ifdef FUZZ_ASAN
#include <sanitizer/asan_interface.h>
#define FUZZ_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define FUZZ_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define FUZZ_POISON(p, n) ((void)(p), (void)(n))
#define FUZZ_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

// The harness's own comparisons are kept out of the coverage the fuzzer steers by: they mirror the
// decoder's and would only cost time (the model's byte loops ran under comparison hooks).
#if defined(__clang__)
#define FUZZ_HARNESS __attribute__((no_sanitize("coverage")))
#else
#define FUZZ_HARNESS
#endif

namespace {

class CheckingView : public MonitorView {
public:
    void ShowLinkState(bool) override {}
    void SetSummaryText(const std::string& gbk) override
    {
        summary = gbk;
        ++summaries;
    }
    bool LayoutGrid(TagMonitor& board, WakeFlag&) override
    {
        FUZZ_CHECK(board.LineCount >= 1 && board.LineCount <= kMaxLines);
        ++layouts;
        return true;
    }

    std::string summary;
    int summaries = 0;
    int layouts = 0;
};

// The harness keeps everything it needs from one input to the next in fixed storage, and its hot
// paths use no library templates: allocations and instrumented library code are what a sanitizer
// build pays for most, and both would cost more than the decoding under test.
constexpr size_t kMaxRecords = size_t(kRecvBufSize / 6);
constexpr size_t kCells = size_t(kMaxLines) * kColsPerLine;

struct Record {
    int line;
    int column;
    int fore;
    int back;
    size_t textPos; // the text lies in the bytes held, which stay put until the frame is checked
    size_t textLen;
};

// The bytes the link should hold.
struct Held {
    uint8_t bytes[kRecvBufSize];
    size_t size = 0;
};

// What a correct decoder does with the bytes held.
struct Expected {
    Expected() { log.reserve(128); }

    enum Kind { NotReady, Reject, Accept } kind = NotReady;
    int32_t packLen = 0;
    std::string log; // empty: a rejection without a log line
    int lineCount = 0;
    Record records[kMaxRecords];
    size_t recordCount = 0;
    size_t frameEnd = 0;
};

FUZZ_HARNESS void Model(const Held& held, Expected& e)
{
    e.kind = Expected::NotReady;
    e.packLen = 0;
    e.log.clear();
    e.lineCount = 0;
    e.recordCount = 0;
    e.frameEnd = 0;
    const uint8_t* const b = held.bytes;
    if (held.size <= 4)
        return;
    auto digit = [](uint8_t c) { return c >= '0' && c <= '9'; };
    if (digit(b[0]) && digit(b[1])) {
        for (size_t i = 0; i < 4 && digit(b[i]); ++i)
            e.packLen = e.packLen * 10 + (b[i] - '0');
    } else {
        e.packLen = int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
    }
    const int64_t frameEnd = 4 + int64_t(e.packLen);
    if (frameEnd > int64_t(held.size) && frameEnd <= kRecvBufSize)
        return;
    e.kind = Expected::Reject;
    if (e.packLen < 2 || frameEnd > kRecvBufSize) {
        e.log.assign(Format("packLen Err, packLen=%d, size=%d", e.packLen, int(held.size)));
        return;
    }
    e.lineCount = int16_t(uint16_t(b[4] | b[5] << 8));
    if (e.lineCount < 0 || e.lineCount > kMaxLines)
        return;
    const size_t end = size_t(frameEnd);
    size_t p = 6;
    while (end - p > 5) {
        size_t nul = p + 5;
        while (nul < end && b[nul] != 0)
            ++nul;
        if (nul == end) {
            e.log.assign(Format("frame Err, pos=%ld, packLen=%d", long(p), e.packLen));
            e.recordCount = 0;
            return;
        }
        e.records[e.recordCount++] = {int16_t(uint16_t(b[p] | b[p + 1] << 8)),
                                      int8_t(b[p + 2]),
                                      int8_t(b[p + 3]),
                                      int8_t(b[p + 4]),
                                      p + 5,
                                      nul - (p + 5)};
        p = nul + 1;
    }
    if (p != end) {
        e.log.assign(Format("frame Err, pos=%ld, packLen=%d", long(p), e.packLen));
        e.recordCount = 0;
        return;
    }
    e.kind = Expected::Accept;
    e.frameEnd = end;
}

// Read sizes: one byte at a time, whole reads, or pseudo-random sizes up to 64 or up to a whole read.
class ReadSizes {
public:
    ReadSizes(uint8_t mode, uint8_t seed) : mode_(mode & 3), state_(seed * 2654435761u + 1) {}
    FUZZ_HARNESS size_t Next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        switch (mode_) {
        case 0:
            return 1;
        case 1:
            return kMaxRead;
        case 2:
            return 1 + state_ % 64;
        default:
            return 1 + state_ % kMaxRead;
        }
    }

private:
    uint8_t mode_;
    uint32_t state_;
};

FUZZ_HARNESS bool OnBoard(const Record& r, int lineCount)
{
    return r.line >= 0 && r.line < lineCount && r.column >= 0 && r.column < kColsPerLine;
}

// A board kept from earlier frames, or from earlier inputs, has Changed set in cells that this frame
// may write. Clearing it in exactly those cells first lets the check see that the decoder set it.
FUZZ_HARNESS void ForgetChanges(const Expected& e, TagMonitor& board)
{
    BoardLock lock(board.Lock);
    for (size_t i = 0; i < e.recordCount; ++i) {
        const Record& r = e.records[i];
        if (OnBoard(r, board.LineCount))
            board.Rows[size_t(r.line)].Cols[r.column].Changed = false;
    }
}

// Which cells the check has met in the current frame: a cell is met in this frame when its mark
// equals the frame's number, so nothing needs clearing between frames.
struct CellMarks {
    uint32_t frame = 0;
    uint32_t mark[kCells] = {};
    uint8_t done[kCells] = {}; // kTextDone, kForeDone, kBackDone
};
constexpr uint8_t kTextDone = 1;
constexpr uint8_t kForeDone = 2;
constexpr uint8_t kBackDone = 4;

FUZZ_HARNESS bool SameText(const std::string& text, const Held& held, const Record& r)
{
    return text.size() == r.textLen && std::memcmp(text.data(), held.bytes + r.textPos, r.textLen) == 0;
}

FUZZ_HARNESS void CheckApplied(const Expected& e, const Held& held, const CheckingView& view, int summariesBefore,
                               CellMarks& marks)
{
    FUZZ_CHECK(CurBoard != nullptr);
    const TagMonitor& board = *CurBoard;
    FUZZ_CHECK(board.LineCount == (e.lineCount < 1 ? 1 : e.lineCount));
    // Walked from the last record back, so the first record met for a cell is the one that wins its
    // text, and the first one met with a palette index wins that colour (other indexes leave the
    // colour alone).
    const uint32_t frame = ++marks.frame;
    const Record* summary = nullptr;
    int summaryCount = 0;
    BoardLock lock(board.Lock);
    for (size_t i = e.recordCount; i-- > 0;) {
        const Record& r = e.records[i];
        if (!OnBoard(r, board.LineCount)) {
            if (r.line == -1) {
                if (!summary)
                    summary = &r;
                ++summaryCount;
            }
            continue;
        }
        const size_t key = size_t(r.line) * kColsPerLine + size_t(r.column);
        if (marks.mark[key] != frame) {
            marks.mark[key] = frame;
            marks.done[key] = 0;
        }
        uint8_t& done = marks.done[key];
        const TagLineCols& cell = board.Rows[size_t(r.line)].Cols[r.column];
        if (!(done & kTextDone)) {
            FUZZ_CHECK(cell.Changed);
            FUZZ_CHECK(SameText(cell.Text, held, r));
            done |= kTextDone;
        }
        if (!(done & kForeDone) && r.fore >= 0 && r.fore <= 15) {
            FUZZ_CHECK(cell.ForeColor == LinePalette[r.fore]);
            done |= kForeDone;
        }
        if (!(done & kBackDone) && r.back >= 0 && r.back <= 15) {
            FUZZ_CHECK(cell.BackColor == LinePalette[r.back]);
            done |= kBackDone;
        }
    }
    FUZZ_CHECK(view.summaries - summariesBefore == summaryCount);
    FUZZ_CHECK(!summary || SameText(view.summary, held, *summary));
}

// Boards of the start sizes are built once and kept while no frame replaces them: building a board
// of 2048 lines for every input, and freeing it again, would leave little time for the decoder. Only
// boards that are not CurBoard stand here, since a replacement frees CurBoard.
class BoardShelf {
public:
    // Makes CurBoard a board of lines lines (0: none), putting the one it held aside.
    FUZZ_HARNESS void Present(int lines)
    {
        TagMonitor* current = CurBoard;
        if (current && current->LineCount == lines)
            return;
        TagMonitor* wanted = nullptr;
        if (lines > 0) {
            TagMonitor*& slot = Slot(lines);
            wanted = slot ? slot : new TagMonitor(lines);
            slot = nullptr;
        }
        {
            BoardLock lock(CurBoardLock);
            CurBoard = wanted;
        }
        if (current) {
            TagMonitor*& slot = Slot(current->LineCount);
            if (&slot != &other_ && !slot)
                slot = current;
            else
                delete current; // a size a frame asked for: not kept
        }
        other_ = nullptr;
    }

private:
    FUZZ_HARNESS TagMonitor*& Slot(int lines)
    {
        switch (lines) {
        case 1:
            return kept_[0];
        case 8:
            return kept_[1];
        case kMaxLines:
            return kept_[2];
        default:
            return other_;
        }
    }

    TagMonitor* kept_[3] = {};
    TagMonitor* other_ = nullptr; // the slot of every other size, always empty
};

struct Harness {
    SharedConfig config;
    TagTcpConnection* link = nullptr;
    CheckingView view;
    WakeFlag noStop;
    BoardShelf boards;
    // What WriteLog was given since the last look: the log's sink stands in for Monitor.log, whose
    // opening, writing and closing cost more than decoding a frame. The file itself is the event
    // log's tests' business.
    std::vector<std::string> logged;
    Held held;
    Expected expected;
    CellMarks marks;

    Harness()
    {
        fuzz::EnterScratchDir();
        // Kept for the whole run: the link's buffer is the memory under test.
        link = new TagTcpConnection(config, LinkTiming(), NoConnect{});
        CurView = &view;
        logged.reserve(4);
        SetLogSink([this](const char* message) { logged.emplace_back(message); });
    }
};

} // namespace

extern "C" FUZZ_HARNESS int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // On the heap: the fixed storage is larger than a stack may be.
    static Harness& h = *new Harness;
    if (size < 2)
        return 0;
    TagTcpConnection& link = *h.link;
    uint8_t* const buf = link.recvBuf;

    static const int presets[4] = {0, 1, 8, kMaxLines};
    h.boards.Present(presets[data[0] & 3]);
    ReadSizes reads(uint8_t(data[0] >> 2), data[1]);
    data += 2;
    size -= 2;

    link.size = 0;
    link.packLen = 0;
    link.connected = true;
    // Only the bytes held stay addressable; the poisoned rest is adjusted as the buffer fills and
    // empties, since poisoning all 30000 bytes on every pass would cost more than the decoding.
    FUZZ_POISON(buf, size_t(kRecvBufSize));
    Held& held = h.held;
    held.size = 0;
    h.logged.clear();
    Expected& e = h.expected;
    size_t pos = 0;
    for (;;) {
        if (!link.connected) {
            // A reconnection drops every byte held.
            FUZZ_POISON(buf, size_t(link.size));
            link.size = 0;
            held.size = 0;
            link.connected = true;
        }
        FUZZ_CHECK(link.size >= 0 && link.size <= kRecvBufSize && size_t(link.size) == held.size);
        const size_t room =
            size_t(kRecvBufSize - link.size) < size_t(kMaxRead) ? size_t(kRecvBufSize - link.size) : size_t(kMaxRead);
        if (pos < size && room > 0) {
            size_t n = reads.Next();
            n = n < room ? n : room;
            n = n < size - pos ? n : size - pos;
            FUZZ_UNPOISON(buf + link.size, n);
            std::memcpy(buf + link.size, data + pos, n);
            std::memcpy(held.bytes + held.size, data + pos, n);
            held.size += n;
            link.size += int32_t(n);
            pos += n;
        }

        Model(held, e);
        const bool ready = FrameReady(link);
        FUZZ_CHECK(h.logged.empty());
        if (!ready) {
            FUZZ_CHECK(e.kind == Expected::NotReady);
            // A full buffer without a frame to hand on would make the worker spin for ever.
            FUZZ_CHECK(link.size < kRecvBufSize);
            if (pos >= size)
                break;
            continue;
        }
        FUZZ_CHECK(e.kind != Expected::NotReady);
        FUZZ_CHECK(link.packLen == e.packLen);

        TagMonitor* const boardBefore = CurBoard;
        const bool replaces = !boardBefore || boardBefore->LineCount != e.lineCount;
        if (e.kind == Expected::Accept && !replaces)
            ForgetChanges(e, *boardBefore);
        const int layoutsBefore = h.view.layouts;
        const int summariesBefore = h.view.summaries;
        const WireOutcome rc = ParseFrame(link);

        // Exactly one log line per logged rejection, and none for the others.
        if (e.log.empty()) {
            FUZZ_CHECK(h.logged.empty());
        } else {
            FUZZ_CHECK(h.logged.size() == 1 && h.logged.front() == e.log);
            h.logged.clear();
        }

        if (e.kind == Expected::Reject) {
            FUZZ_CHECK(IsRejection(rc));
            FUZZ_CHECK(!link.connected);
            FUZZ_CHECK(size_t(link.size) == held.size && std::memcmp(buf, held.bytes, held.size) == 0);
            FUZZ_CHECK(CurBoard == boardBefore && h.view.layouts == layoutsBefore);
            continue;
        }

        FUZZ_CHECK(rc == WireOutcome::Done);
        FUZZ_CHECK(link.connected);
        FUZZ_CHECK(h.view.layouts - layoutsBefore == (replaces ? 1 : 0));
        FUZZ_CHECK(replaces || CurBoard == boardBefore);
        CheckApplied(e, held, h.view, summariesBefore, h.marks);
        std::memmove(held.bytes, held.bytes + e.frameEnd, held.size - e.frameEnd);
        held.size -= e.frameEnd;
        FUZZ_CHECK(size_t(link.size) == held.size && std::memcmp(buf, held.bytes, held.size) == 0);
        FUZZ_POISON(buf + link.size, e.frameEnd);
    }
    return 0;
}
