#include "FrameDecoder.h"

#include <cstdint>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int Int16At(std::string_view b, size_t at)
{
    return static_cast<int16_t>(
        static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8));
}

int Int8At(std::string_view b, size_t at)
{
    return static_cast<int8_t>(static_cast<uint8_t>(b[at]));
}

bool Fail(std::string* why, const std::string& reason)
{
    if (why) {
        *why = reason;
    }
    return false;
}

} // namespace

size_t CompleteFrameSize(std::string_view bytes, long long* bodyLength, bool* textLength)
{
    if (bytes.size() < 5) {
        return 0;
    }
    long long length = 0;
    const bool text = IsDigit(bytes[0]) && IsDigit(bytes[1]);
    if (text) {
        for (size_t i = 0; i < 4 && IsDigit(bytes[i]); ++i) {
            length = length * 10 + (bytes[i] - '0');
        }
    } else {
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i) {
            v = v << 8 | static_cast<uint8_t>(bytes[static_cast<size_t>(i)]);
        }
        length = static_cast<int32_t>(v);
    }
    if (bodyLength) {
        *bodyLength = length;
    }
    if (textLength) {
        *textLength = text;
    }
    if (length < 0 || static_cast<long long>(bytes.size()) < length + 4) {
        return 0;
    }
    return static_cast<size_t>(length + 4);
}

bool DecodeFrame(std::string_view frame, DecodedFrame& out, std::string* why)
{
    out = DecodedFrame();
    const size_t size = CompleteFrameSize(frame, &out.bodyLength, &out.textLength);
    if (size == 0 || size != frame.size()) {
        return Fail(why, "length field does not match the frame's size");
    }
    if (out.bodyLength < 2) {
        return Fail(why, "body too short for the line count");
    }
    out.lineCount = Int16At(frame, 4);
    size_t p = 6;
    while (p < size) {
        if (size - p < 6) {
            return Fail(why, "bytes left after the last record");
        }
        DecodedRecord r;
        r.line = Int16At(frame, p);
        r.column = Int8At(frame, p + 2);
        r.fore = Int8At(frame, p + 3);
        r.back = Int8At(frame, p + 4);
        const size_t end = frame.find('\0', p + 5);
        if (end == std::string_view::npos) {
            return Fail(why, "record text without its 0 byte");
        }
        r.text = std::string(frame.substr(p + 5, end - p - 5));
        out.records.push_back(std::move(r));
        p = end + 1;
    }
    return true;
}
