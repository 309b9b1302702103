#pragma once
// Answer frames as the simulator writes them: a 4-byte length field, the line count and cell
// records, never longer than the monitor's receive buffer unless asked to be.

#include "link/Link.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The monitor keeps one answer in its receive buffer, so a frame (length field and body) must not
// be longer.
inline constexpr size_t kMaxFrameBytes = kRecvBufSize;
// A text length field holds four decimal digits.
inline constexpr size_t kMaxTextBody = 9999;

enum class LengthMode { Text, Binary };

class FrameWriter {
public:
    explicit FrameWriter(int lineCount, size_t maxFrame = kMaxFrameBytes);

    // Appends one record. Returns false, leaving the frame as it was, when the record would make the
    // frame longer than maxFrame. A text is cut at its first 0 byte, which ends it on the wire.
    bool Add(int line, int column, int foreIndex, int backIndex, std::string_view text);

    // Removes the last record added (none: no effect).
    void DropLast();

    size_t FrameSize() const { return 4 + body_.size(); }
    size_t BodySize() const { return body_.size(); }
    size_t Records() const { return recordStarts_.size(); }

    // The whole frame. A text length field is written only while the body fits in four digits;
    // longer bodies get the binary field whatever mode asks for.
    std::string Finish(LengthMode mode) const;

private:
    std::string body_;
    size_t maxFrame_;
    std::vector<size_t> recordStarts_;
};

// The bytes a record of the given text occupies in a frame.
inline size_t RecordSize(std::string_view text)
{
    return 6 + text.size();
}

// The length field alone, as Finish writes it for a body of bodySize bytes.
std::string LengthField(size_t bodySize, LengthMode mode);

// A reader takes a length field whose first two bytes are ASCII digits for text, so a binary field
// of such a body size (12336 to 14649 with both low bytes in '0'..'9') would be misread. Frames
// with such a body must be made shorter or longer.
bool BinaryLengthLooksLikeText(size_t bodySize);

// The mode Finish actually uses for a body of bodySize bytes.
LengthMode EffectiveMode(size_t bodySize, LengthMode mode);
