#include "link/Protocol.h"

#include "board/Board.h"
#include "settings/EventLog.h"

#include <cstring>

namespace {

bool IsDigit(uint8_t c)
{
    return c >= '0' && c <= '9';
}

int16_t ReadInt16(const uint8_t* p)
{
    return int16_t(uint16_t(p[0] | (p[1] << 8)));
}

int32_t ReadInt32(const uint8_t* p)
{
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

int RejectFrame(TagTcpConnection& link, long pos)
{
    link.connected = false;
    WriteLog(Format("frame Err, pos=%ld, packLen=%d", pos, link.packLen));
    return -1;
}

} // namespace

int SendPoll(TagTcpConnection& link)
{
    if (!link.connected)
        return -1;
    long n = NetSend(link.linkSocket, kPollRequest, kPollRequestSize);
    if (n == kPollRequestSize)
        return 0;
    link.connected = false;
    int err = NetLastError();
    WriteLog(Format("send()<5 Err, len=%d, errNo=%d[0x%x]", int(n), err, unsigned(err)));
    return -2;
}

bool FrameReady(TagTcpConnection& link)
{
    if (link.size <= 4)
        return false;
    const uint8_t* b = link.recvBuf;
    if (IsDigit(b[0]) && IsDigit(b[1])) {
        int value = 0;
        for (int i = 0; i < 4 && IsDigit(b[i]); ++i)
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

int ParseFrame(TagTcpConnection& link)
{
    const int64_t frameEnd = 4 + int64_t(link.packLen);
    if (link.packLen < 2 || frameEnd > kRecvBufSize) {
        link.connected = false;
        WriteLog(Format("packLen Err, packLen=%d, size=%d", link.packLen, link.size));
        return -1;
    }
    if (frameEnd > link.size)
        return -1; // not whole yet: FrameReady says when to call

    uint8_t* const buf = link.recvBuf;
    const int lineCount = ReadInt16(buf + 4);
    if (lineCount < 0 || lineCount > kMaxLines) {
        link.connected = false;
        return -1;
    }

    // Every text must end inside the frame and the records must end exactly where the frame does;
    // anything else means the stream is out of step, and applying half a frame would show cells
    // that the server never meant together.
    const uint8_t* const end = buf + frameEnd;
    const uint8_t* p = buf + 6;
    while (end - p > 5) {
        const void* nul = std::memchr(p + 5, 0, size_t(end - (p + 5)));
        if (!nul)
            return RejectFrame(link, long(p - buf));
        p = static_cast<const uint8_t*>(nul) + 1;
    }
    if (p != end)
        return RejectFrame(link, long(p - buf));

    if (!EnsureBoard(lineCount, link.stopRequested))
        return -1; // the session is stopping
    TagMonitor& board = *CurBoard;
    {
        std::lock_guard lock(board.Lock);
        for (p = buf + 6; p < end;) {
            const char* text = reinterpret_cast<const char*>(p + 5);
            const size_t textLen = std::strlen(text);
            board.SetCell(text, textLen, ReadInt16(p), int8_t(p[2]), int8_t(p[3]), int8_t(p[4]));
            p += 6 + textLen;
        }
    }

    std::memmove(buf, end, size_t(link.size - frameEnd));
    link.size -= int32_t(frameEnd);
    return 0;
}
