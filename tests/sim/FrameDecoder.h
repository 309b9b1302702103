#pragma once
// A small frame reader for the simulator's tests, written from the framing rule alone so it checks
// the simulator rather than sharing its code.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct DecodedRecord {
    int line = 0;
    int column = 0;
    int fore = 0;
    int back = 0;
    std::string text;
};

struct DecodedFrame {
    bool textLength = false;
    long long bodyLength = 0;
    int lineCount = 0;
    std::vector<DecodedRecord> records;
};

// The size of the frame at the head of bytes once it has arrived whole, else 0. A length field
// whose first two bytes are ASCII digits is text (the digits up to the first non-digit), any other
// is a signed 32-bit little-endian number. Sets bodyLength (and textLength) once five bytes are held.
size_t CompleteFrameSize(std::string_view bytes, long long* bodyLength = nullptr, bool* textLength = nullptr);

// Decodes one complete frame. Fails (with a reason) on a body too short for the line count, a record
// cut off or whose text has no 0 byte inside the frame, or bytes left after the last record.
bool DecodeFrame(std::string_view frame, DecodedFrame& out, std::string* why = nullptr);
