#pragma once
// The bytes between the monitor and the CTI server: the poll request, and the answer frame
// (a 4-byte length, a 16-bit line count and cell records) decoded in place in the link's buffer.

#include "link/Link.h"

// The poll request, sent as these 5 bytes without a terminator.
inline constexpr char kPollRequest[] = "00011";
inline constexpr int kPollRequestSize = 5;

// What SendPoll and ParseFrame did.
enum class WireOutcome {
    Done,         // the poll was sent, or the frame applied and consumed
    NotConnected, // SendPoll: the link is not up; nothing sent
    SendFailed,   // SendPoll: the send failed; the link is dropped, logged
    Incomplete,   // ParseFrame: the frame is not whole yet (FrameReady says when to call)
    BadLength,    // rejected: a length below 2 or one the buffer can never hold; logged
    BadLineCount, // rejected: a line count outside 0 to 2048; dropped without a log line
    BadRecords,   // rejected: the records do not fill the frame exactly; logged
    Stopping,     // ParseFrame: the session stopped while the board was laid out
};

// The frame was refused: the link is dropped and nothing of the frame is applied or consumed.
constexpr bool IsRejection(WireOutcome outcome)
{
    return outcome == WireOutcome::BadLength || outcome == WireOutcome::BadLineCount ||
           outcome == WireOutcome::BadRecords;
}

// Sends the poll request: Done, NotConnected or SendFailed.
WireOutcome SendPoll(TagTcpConnection& link);

// Decodes the length field at the head of recvBuf into packLen. True when the frame can be handed
// to ParseFrame: it is whole, or its length already shows it must be rejected.
bool FrameReady(TagTcpConnection& link);

// Applies the frame at the head of recvBuf to CurBoard and consumes it: Done. A malformed frame is
// rejected whole, before any record is applied (IsRejection), through one path that drops the
// link and writes the frame's log line.
WireOutcome ParseFrame(TagTcpConnection& link);
