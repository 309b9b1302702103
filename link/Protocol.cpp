#include "link/Protocol.h"

#include "board/Board.h"
#include "common/Ascii.h"
#include "common/HistorySink.h"
#include "settings/EventLog.h"

#include <bit>
#include <cstring>

namespace {

int16_t ReadInt16(const uint8_t* p)
{
    return int16_t(uint16_t(p[0] | (p[1] << 8)));
}

int32_t ReadInt32(const uint8_t* p)
{
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

// The first 0 byte in [p, end), or null. Texts are short, so eight bytes are tested at a time
// rather than paying a library call per text.
const uint8_t* FindNul(const uint8_t* p, const uint8_t* end)
{
    if constexpr (std::endian::native == std::endian::little) {
        constexpr uint64_t ones = 0x0101010101010101u;
        constexpr uint64_t highs = 0x8080808080808080u;
        for (; end - p >= 8; p += 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            // The lowest flagged byte is always a real 0; flags above it may be false.
            if (uint64_t zeros = (word - ones) & ~word & highs)
                return p + (std::countr_zero(zeros) >> 3);
        }
    }
    for (; p < end; ++p) {
        if (*p == 0)
            return p;
    }
    return nullptr;
}

// Every refused frame ends here. pos: where the records went wrong (BadRecords only).
WireOutcome RejectFrame(TagTcpConnection& link, WireOutcome why, long pos = 0)
{
    link.connected = false;
    switch (why) {
    case WireOutcome::BadLength:
        WriteLog(Format("packLen Err, packLen=%d, size=%d", link.packLen, link.size));
        break;
    case WireOutcome::BadRecords:
        WriteLog(Format("frame Err, pos=%ld, packLen=%d", pos, link.packLen));
        break;
    default:
        // A line count out of range drops the link without a log line, as the monitor always has.
        break;
    }
    return why;
}

} // namespace

WireOutcome SendPoll(TagTcpConnection& link)
{
    if (!link.connected)
        return WireOutcome::NotConnected;
    long n = NetSend(link.linkSocket, kPollRequest, kPollRequestSize);
    if (n == kPollRequestSize) {
        link.pollSentAt = SteadyMs();
        link.overdueReported = false; // a new wait, which may be overdue in its turn
        return WireOutcome::Done;
    }
    link.connected = false;
    int err = NetLastError();
    WriteLog(Format("send()<5 Err, len=%d, errNo=%d[0x%x]", int(n), err, unsigned(err)));
    return WireOutcome::SendFailed;
}

bool FrameReady(TagTcpConnection& link)
{
    if (link.size <= 4)
        return false;
    const uint8_t* b = link.recvBuf;
    if (AsciiIsDigit(b[0]) && AsciiIsDigit(b[1])) {
        int value = 0;
        for (int i = 0; i < 4 && AsciiIsDigit(b[i]); ++i)
            value = value * 10 + (b[i] - '0');
        link.packLen = value;
    } else {
        link.packLen = ReadInt32(b);
    }
    // A frame that can never fit the buffer is handed on at once, so it is rejected instead of
    // waited for.
    const int64_t frameEnd = 4 + int64_t(link.packLen);
    return frameEnd <= link.size || frameEnd > kRecvBufSize;
}

WireOutcome ParseFrame(TagTcpConnection& link)
{
    const int64_t frameEnd = 4 + int64_t(link.packLen);
    if (link.packLen < 2 || frameEnd > kRecvBufSize)
        return RejectFrame(link, WireOutcome::BadLength);
    if (frameEnd > link.size)
        return WireOutcome::Incomplete;

    uint8_t* const buf = link.recvBuf;
    const int lineCount = ReadInt16(buf + 4);
    if (lineCount < 0 || lineCount > kMaxLines)
        return RejectFrame(link, WireOutcome::BadLineCount);

    // Every text must end inside the frame and the records must end exactly where the frame does;
    // anything else means the stream is out of step, and applying half a frame would show cells
    // that the server never meant together. The text lengths found here spare the apply pass a
    // second search.
    uint16_t textLens[kRecvBufSize / 6];
    int records = 0;
    const uint8_t* const end = buf + frameEnd;
    const uint8_t* p = buf + 6;
    while (end - p > 5) {
        const uint8_t* nul = FindNul(p + 5, end);
        if (!nul)
            return RejectFrame(link, WireOutcome::BadRecords, long(p - buf));
        textLens[records++] = uint16_t(nul - (p + 5));
        p = nul + 1;
    }
    if (p != end)
        return RejectFrame(link, WireOutcome::BadRecords, long(p - buf));

    TagMonitor* const ensured = EnsureBoard(lineCount, link.stopRequested);
    if (!ensured)
        return WireOutcome::Stopping;
    TagMonitor& board = *ensured;
    {
        BoardLock lock(board.Lock);
        // Every record of a frame became known at the same moment: one clock read per frame.
        const BoardTime now = records > 0 ? board.Clock() : BoardTime{};
        p = buf + 6;
        for (int i = 0; i < records; ++i) {
            const size_t textLen = textLens[i];
            board.SetCell(reinterpret_cast<const char*>(p + 5), textLen, ReadInt16(p), int8_t(p[2]), int8_t(p[3]),
                          int8_t(p[4]), now);
            p += 6 + textLen;
        }
        if (HistorySink* history = History())
            history->FrameApplied(board, records > 0 ? now : board.Clock());
    }

    std::memmove(buf, end, size_t(link.size - frameEnd));
    link.size -= int32_t(frameEnd);
    link.lastAnswerAt = SteadyMs();
    link.pollSentAt = 0;
    if (link.overdueReported.load()) {
        if (HistorySink* history = History())
            history->AnswerOverdue(false); // the overdue answer came
    }
    return WireOutcome::Done;
}
