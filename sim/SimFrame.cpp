#include "sim/SimFrame.h"

namespace {

void PutInt16(std::string& out, int value)
{
    const auto v = static_cast<uint16_t>(static_cast<int16_t>(value));
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

void PutInt8(std::string& out, int value)
{
    out.push_back(static_cast<char>(static_cast<int8_t>(value)));
}

} // namespace

FrameWriter::FrameWriter(int lineCount, size_t maxFrame) : maxFrame_(maxFrame)
{
    body_.reserve(maxFrame > 4 ? maxFrame - 4 : 0);
    PutInt16(body_, lineCount);
}

bool FrameWriter::Add(int line, int column, int foreIndex, int backIndex, std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    if (FrameSize() + RecordSize(text) > maxFrame_) {
        return false;
    }
    recordStarts_.push_back(body_.size());
    PutInt16(body_, line);
    PutInt8(body_, column);
    PutInt8(body_, foreIndex);
    PutInt8(body_, backIndex);
    body_.append(text);
    body_.push_back('\0');
    return true;
}

void FrameWriter::DropLast()
{
    if (!recordStarts_.empty()) {
        body_.resize(recordStarts_.back());
        recordStarts_.pop_back();
    }
}

bool BinaryLengthLooksLikeText(size_t bodySize)
{
    const auto isDigit = [](size_t b) { return b >= '0' && b <= '9'; };
    return bodySize <= 0xFFFF && isDigit(bodySize & 0xFF) && isDigit(bodySize >> 8);
}

LengthMode EffectiveMode(size_t bodySize, LengthMode mode)
{
    return mode == LengthMode::Text && bodySize <= kMaxTextBody ? LengthMode::Text : LengthMode::Binary;
}

std::string LengthField(size_t bodySize, LengthMode mode)
{
    std::string field;
    if (EffectiveMode(bodySize, mode) == LengthMode::Text) {
        field.resize(4);
        size_t v = bodySize;
        for (int i = 3; i >= 0; --i) {
            field[static_cast<size_t>(i)] = static_cast<char>('0' + v % 10);
            v /= 10;
        }
        return field;
    }
    const auto v = static_cast<uint32_t>(bodySize);
    for (int i = 0; i < 4; ++i) {
        field.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    return field;
}

std::string FrameWriter::Finish(LengthMode mode) const
{
    return LengthField(body_.size(), mode) + body_;
}
