#pragma once
// What the rules are judged on, taken from the board and the link at a tick. Taking it is the only
// part of a tick that runs under the board's lock, so it copies no text: per line one byte (which of
// the rules' statuses the line shows) and the moment its text last changed.

#include "board/Board.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TagTcpConnection;

// The statuses the board rules look for, each once. At most kMaxAlertStatuses.
struct TagStatusSet {
    std::vector<std::string> Texts; // GBK
    // The index of text, or -1.
    int IndexOf(std::string_view text) const;
};
inline constexpr size_t kMaxAlertStatuses = 250;

// A line's byte: an index into the set, or one of these.
inline constexpr uint8_t kOtherStatus = 0xFF; // shows none of the set's texts
inline constexpr uint8_t kUnwritten = 0xFE;   // no text written since the board was made

struct TagBoardSample {
    // The board's identity: a replaced board is told apart from the one before it.
    const TagMonitor* Board = nullptr;
    BoardTime Created{};
    std::vector<uint8_t> Status;
    std::vector<BoardTime> Since;
};

// Fills sample from the status column of board. The caller holds board.Lock; the sample's buffers
// are reused, so a tick allocates nothing once the line count is known.
void SampleBoard(const TagMonitor& board, const TagStatusSet& statuses, TagBoardSample& sample);

struct TagLinkSample {
    bool Connected = false;
    // The session's identity: a Reconnect makes a new link, which counts as a reconnection even when
    // no tick saw the link down in between.
    const void* Session = nullptr;
    // When the last complete answer came (the link's own count of it, 0: none yet): the board is
    // judged again only once an answer has come since the link came up.
    int64_t LastAnswerAt = 0;
    // Since when the answer now awaited is overdue; none while none is.
    std::optional<BoardTime> OverdueSince;
};

// The link at now on the board's clock and nowMs on the link's (SteadyMs()). No link: down.
TagLinkSample SampleLink(const TagTcpConnection* link, BoardTime now, int64_t nowMs);
