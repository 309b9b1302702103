#include "platform/Utf8.h"

#include "platform/GbkText.h"

namespace {

bool IsHigh(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLow(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

} // namespace

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::string Utf16ToUtf8(std::u16string_view text)
{
    // Measured, then written through a pointer: a long text costs neither a check of the capacity
    // per byte nor room it does not use.
    size_t bytes = 0;
    for (char16_t c : text)
        bytes += c < 0x80 ? 1 : (c < 0x800 ? 2 : 3); // a pair's two units: 3 + 3 >= 4
    std::string out(bytes, '\0');
    char* o = out.data();
    const auto put = [&o](char32_t c) {
        if (c < 0x80) {
            *o++ = char(c);
        } else if (c < 0x800) {
            *o++ = char(0xC0 | (c >> 6));
            *o++ = char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *o++ = char(0xE0 | (c >> 12));
            *o++ = char(0x80 | ((c >> 6) & 0x3F));
            *o++ = char(0x80 | (c & 0x3F));
        } else {
            *o++ = char(0xF0 | (c >> 18));
            *o++ = char(0x80 | ((c >> 12) & 0x3F));
            *o++ = char(0x80 | ((c >> 6) & 0x3F));
            *o++ = char(0x80 | (c & 0x3F));
        }
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (IsHigh(c) && i + 1 < text.size() && IsLow(text[i + 1])) {
            put(0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
            ++i;
        } else if (IsHigh(c) || IsLow(c)) {
            put(0xFFFD);
        } else {
            put(c);
        }
    }
    out.resize(size_t(o - out.data()));
    return out;
}

std::string GbkToUtf8(std::string_view gbk)
{
    // ASCII, by far the most common text on the wire, needs no conversion at all.
    bool ascii = true;
    for (char c : gbk)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii)
        return std::string(gbk);
    return Utf16ToUtf8(GbkToUtf16(gbk));
}

std::string CutToChars(std::string_view utf8, size_t maxChars)
{
    const auto starts = [&](size_t i) { return (static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80; };
    size_t chars = 0;
    size_t keep = 0; // bytes of the first maxChars - 1 characters
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (!starts(i))
            continue;
        if (chars + 1 == maxChars)
            keep = i;
        if (chars == maxChars)
            return maxChars == 0 ? std::string() : std::string(utf8.substr(0, keep)) + kEllipsis;
        ++chars;
    }
    return std::string(utf8);
}
