#pragma once
// The bytes between the monitor and the CTI server: the poll request, and the answer frame
// (a 4-byte length, a 16-bit line count and cell records) decoded in place in the link's buffer.

#include "link/Link.h"

// The poll request, sent as these 5 bytes without a terminator.
inline constexpr char kPollRequest[] = "00011";
inline constexpr int kPollRequestSize = 5;

// Sends the poll request: 0 sent, -1 link not up (nothing sent), -2 send failed (link dropped,
// logged).
int SendPoll(TagTcpConnection& link);

// Decodes the length field at the head of recvBuf into packLen. True when the frame can be handed
// to ParseFrame: it is whole, or its length already shows it must be rejected.
bool FrameReady(TagTcpConnection& link);

// Applies the frame at the head of recvBuf to CurBoard and consumes it: 0. A malformed frame is
// rejected whole, before any record is applied: the link is dropped and -1 returned.
int ParseFrame(TagTcpConnection& link);
