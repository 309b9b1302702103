// The answer-frame decoder fed as the receive worker feeds it: bytes appended to the link's buffer
// in reads whose sizes the input chooses, FrameReady and ParseFrame after each read, the buffer
// emptied after every rejection as a reconnection does. Each decision is checked against a model
// of the frame format, and the bytes the link does not hold are poisoned, so a read past them is
// caught even though they lie inside the buffer.
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

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
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

struct Record {
    int line;
    int column;
    int fore;
    int back;
    std::string text;
};

// What a correct decoder does with the bytes held.
struct Expected {
    enum Kind { NotReady, Reject, Accept } kind = NotReady;
    int32_t packLen = 0;
    std::string log; // empty: a rejection without a log line
    int lineCount = 0;
    std::vector<Record> records;
    size_t frameEnd = 0;
};

Expected Model(const std::vector<uint8_t>& held)
{
    Expected e;
    if (held.size() <= 4)
        return e;
    auto digit = [](uint8_t c) { return c >= '0' && c <= '9'; };
    if (digit(held[0]) && digit(held[1])) {
        for (size_t i = 0; i < 4 && digit(held[i]); ++i)
            e.packLen = e.packLen * 10 + (held[i] - '0');
    } else {
        e.packLen =
            int32_t(uint32_t(held[0]) | uint32_t(held[1]) << 8 | uint32_t(held[2]) << 16 | uint32_t(held[3]) << 24);
    }
    const int64_t frameEnd = 4 + int64_t(e.packLen);
    if (frameEnd > int64_t(held.size()) && frameEnd <= kRecvBufSize)
        return e;
    e.kind = Expected::Reject;
    if (e.packLen < 2 || frameEnd > kRecvBufSize) {
        e.log = Format("packLen Err, packLen=%d, size=%d", e.packLen, int(held.size()));
        return e;
    }
    e.lineCount = int16_t(uint16_t(held[4] | held[5] << 8));
    if (e.lineCount < 0 || e.lineCount > kMaxLines)
        return e;
    const size_t end = size_t(frameEnd);
    size_t p = 6;
    while (end - p > 5) {
        size_t nul = p + 5;
        while (nul < end && held[nul] != 0)
            ++nul;
        if (nul == end) {
            e.log = Format("frame Err, pos=%ld, packLen=%d", long(p), e.packLen);
            return e;
        }
        e.records.push_back({int16_t(uint16_t(held[p] | held[p + 1] << 8)), int8_t(held[p + 2]), int8_t(held[p + 3]),
                             int8_t(held[p + 4]),
                             std::string(reinterpret_cast<const char*>(&held[p + 5]), nul - (p + 5))});
        p = nul + 1;
    }
    if (p != end) {
        e.log = Format("frame Err, pos=%ld, packLen=%d", long(p), e.packLen);
        e.records.clear();
        return e;
    }
    e.kind = Expected::Accept;
    e.frameEnd = end;
    return e;
}

// Read sizes: one byte at a time, whole reads, or pseudo-random sizes up to 64 or up to a whole read.
class ReadSizes {
public:
    ReadSizes(uint8_t mode, uint8_t seed) : mode_(mode & 3), state_(seed * 2654435761u + 1) {}
    size_t Next()
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

std::string LogText()
{
    std::string text;
    if (std::FILE* f = std::fopen(kLogFileName, "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            text.append(buf, n);
        std::fclose(f);
    }
    return text;
}

void CheckApplied(const Expected& e, const CheckingView& view, int summariesBefore)
{
    FUZZ_CHECK(CurBoard != nullptr);
    const TagMonitor& board = *CurBoard;
    FUZZ_CHECK(board.LineCount == std::max(1, e.lineCount));
    struct Cell {
        const std::string* text = nullptr;
        int fore = -1;
        int back = -1;
    };
    std::map<int, Cell> cells;
    const std::string* summary = nullptr;
    int summaryCount = 0;
    for (const Record& r : e.records) {
        if (r.line >= 0 && r.line < board.LineCount && r.column >= 0 && r.column < kColsPerLine) {
            Cell& c = cells[r.line * kColsPerLine + r.column];
            c.text = &r.text;
            if (r.fore >= 0 && r.fore <= 15)
                c.fore = r.fore;
            if (r.back >= 0 && r.back <= 15)
                c.back = r.back;
        } else if (r.line == -1) {
            summary = &r.text;
            ++summaryCount;
        }
    }
    std::lock_guard lock(board.Lock);
    for (const auto& [key, c] : cells) {
        const TagLineCols& cell = board.Rows[size_t(key / kColsPerLine)].Cols[key % kColsPerLine];
        FUZZ_CHECK(cell.Changed);
        FUZZ_CHECK(cell.Text == *c.text);
        FUZZ_CHECK(c.fore < 0 || cell.ForeColor == LinePalette[c.fore]);
        FUZZ_CHECK(c.back < 0 || cell.BackColor == LinePalette[c.back]);
    }
    FUZZ_CHECK(view.summaries - summariesBefore == summaryCount);
    FUZZ_CHECK(!summary || view.summary == *summary);
}

struct Harness {
    SharedConfig config;
    TagTcpConnection* link = nullptr;
    CheckingView view;
    WakeFlag noStop;

    Harness()
    {
        fuzz::EnterScratchDir();
        // Kept for the whole run: the link's buffer is the memory under test.
        link = new TagTcpConnection(config, LinkTiming(), NoConnect{});
        CurView = &view;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Harness h;
    if (size < 2)
        return 0;
    TagTcpConnection& link = *h.link;
    uint8_t* const buf = link.recvBuf;

    std::remove(kLogFileName);
    // The board is kept from one input to the next when it already has the size asked for:
    // building a board of 2048 lines for every input would leave little time for the decoder.
    static const int presets[4] = {0, 1, 8, kMaxLines};
    if (int lines = presets[data[0] & 3])
        FUZZ_CHECK(EnsureBoard(lines, h.noStop));
    else
        DestroyBoard();
    ReadSizes reads(uint8_t(data[0] >> 2), data[1]);
    data += 2;
    size -= 2;

    link.size = 0;
    link.packLen = 0;
    link.connected = true;
    // Only the bytes held stay addressable; the poisoned rest is adjusted as the buffer fills and
    // empties, since poisoning all 30000 bytes on every pass would cost more than the decoding.
    FUZZ_POISON(buf, size_t(kRecvBufSize));
    std::vector<uint8_t> held; // what the link should hold
    // The log is read once at the end: reading it after every line would cost more than decoding.
    std::vector<std::string> expectedLog;
    size_t pos = 0;
    for (;;) {
        if (!link.connected) {
            // A reconnection drops every byte held.
            FUZZ_POISON(buf, size_t(link.size));
            link.size = 0;
            held.clear();
            link.connected = true;
        }
        FUZZ_CHECK(link.size >= 0 && link.size <= kRecvBufSize && size_t(link.size) == held.size());
        const size_t room = std::min<size_t>(kMaxRead, size_t(kRecvBufSize - link.size));
        if (pos < size && room > 0) {
            const size_t n = std::min({reads.Next(), room, size - pos});
            FUZZ_UNPOISON(buf + link.size, n);
            std::memcpy(buf + link.size, data + pos, n);
            held.insert(held.end(), data + pos, data + pos + n);
            link.size += int32_t(n);
            pos += n;
        }

        const Expected e = Model(held);
        const bool ready = FrameReady(link);
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

        const TagMonitor* boardBefore = CurBoard;
        const bool replaces = !boardBefore || boardBefore->LineCount != e.lineCount;
        const int layoutsBefore = h.view.layouts;
        const int summariesBefore = h.view.summaries;
        const int rc = ParseFrame(link);

        if (e.kind == Expected::Reject) {
            FUZZ_CHECK(rc == -1);
            FUZZ_CHECK(!link.connected);
            FUZZ_CHECK(size_t(link.size) == held.size() && std::memcmp(buf, held.data(), held.size()) == 0);
            FUZZ_CHECK(CurBoard == boardBefore && h.view.layouts == layoutsBefore);
            if (!e.log.empty())
                expectedLog.push_back(e.log);
            continue;
        }

        FUZZ_CHECK(rc == 0);
        FUZZ_CHECK(link.connected);
        FUZZ_CHECK(h.view.layouts - layoutsBefore == (replaces ? 1 : 0));
        FUZZ_CHECK(replaces || CurBoard == boardBefore);
        CheckApplied(e, h.view, summariesBefore);
        held.erase(held.begin(), held.begin() + std::ptrdiff_t(e.frameEnd));
        FUZZ_CHECK(size_t(link.size) == held.size() && std::memcmp(buf, held.data(), held.size()) == 0);
        FUZZ_POISON(buf + link.size, e.frameEnd);
    }

    // Exactly one line per logged rejection, in order, and none for the others.
    const std::string log = LogText();
    size_t at = 0;
    for (const std::string& message : expectedLog) {
        const size_t lineEnd = log.find("]\r\n", at);
        FUZZ_CHECK(lineEnd != std::string::npos);
        const std::string tail = " [" + message;
        FUZZ_CHECK(lineEnd >= at + tail.size() && log.compare(lineEnd - tail.size(), tail.size(), tail) == 0);
        at = lineEnd + 3;
    }
    FUZZ_CHECK(at == log.size());
    return 0;
}
