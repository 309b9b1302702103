#include "probe/ProbeText.h"

#include "platform/Utf8.h"

namespace {

struct Range {
    char32_t first;
    char32_t last;
};

bool In(char32_t c, const Range* ranges, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (c >= ranges[i].first && c <= ranges[i].last)
            return true;
    }
    return false;
}

// East Asian Width W and F (Unicode's EastAsianWidth.txt), folded into blocks.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},   {0x23F0, 0x23F0},
    {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},   {0x2648, 0x2653},   {0x267F, 0x267F},
    {0x2693, 0x2693},   {0x26A1, 0x26A1},   {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},
    {0x26CE, 0x26CE},   {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},
    {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},   {0x2757, 0x2757},   {0x2795, 0x2797},
    {0x27B0, 0x27B0},   {0x27BF, 0x27BF},   {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},
    {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},
    {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4}, {0x17000, 0x18CFF}, {0x1B000, 0x1B2FF},
    {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F202},
    {0x1F210, 0x1F23B}, {0x1F240, 0x1F248}, {0x1F250, 0x1F251}, {0x1F260, 0x1F265}, {0x1F300, 0x1F64F},
    {0x1F680, 0x1F6FF}, {0x1F7E0, 0x1F7EB}, {0x1F90C, 0x1F9FF}, {0x1FA70, 0x1FAFF}, {0x20000, 0x2FFFD},
    {0x30000, 0x3FFFD},
};

// Combining marks and characters that take no column of their own.
constexpr Range kZero[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
    {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F}, {0x20D0, 0x20FF}, {0x302A, 0x302F},
    {0x3099, 0x309A}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF},
};

} // namespace

bool IsSteering(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

char32_t NextCodePoint(std::string_view text, size_t& i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b = byte(i);
    int extra = 0;
    char32_t c = 0;
    char32_t lowest = 0;
    if (b < 0x80) {
        ++i;
        return b;
    }
    if (b >= 0xC2 && b <= 0xDF) {
        extra = 1, c = b & 0x1F, lowest = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        extra = 2, c = b & 0x0F, lowest = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        extra = 3, c = b & 0x07, lowest = 0x10000;
    } else {
        ++i;
        return 0xFFFD;
    }
    if (i + size_t(extra) >= text.size()) {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k <= extra; ++k) {
        if ((byte(i + size_t(k)) & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (byte(i + size_t(k)) & 0x3F);
    }
    if (c < lowest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += size_t(extra) + 1;
    return c;
}

namespace {

int Width(char32_t c)
{
    if (c < kZero[0].first && c < kWide[0].first)
        return 1;
    if (In(c, kZero, std::size(kZero)))
        return 0;
    return In(c, kWide, std::size(kWide)) ? 2 : 1;
}

} // namespace

int DisplayWidth(std::string_view utf8)
{
    int width = 0;
    for (size_t i = 0; i < utf8.size();)
        width += Width(NextCodePoint(utf8, i));
    return width;
}

std::string CutToWidth(std::string_view utf8, int maxColumns)
{
    // One pass that stops at the first code point past the bound: a long text costs no more than
    // a short one.
    int width = 0;
    size_t keep = 0; // bytes that fit in maxColumns - 1
    for (size_t i = 0; i < utf8.size();) {
        width += Width(NextCodePoint(utf8, i));
        if (width > maxColumns)
            return maxColumns <= 0 ? std::string() : std::string(utf8.substr(0, keep)) + kEllipsis;
        if (width <= maxColumns - 1)
            keep = i;
    }
    return std::string(utf8);
}

std::string CutToBytes(std::string_view utf8, size_t maxBytes)
{
    if (utf8.size() <= maxBytes)
        return std::string(utf8);
    const size_t room = maxBytes >= 3 ? maxBytes - 3 : 0;
    size_t keep = 0;
    for (size_t i = 0; i < utf8.size();) {
        NextCodePoint(utf8, i);
        if (i > room)
            break;
        keep = i;
    }
    return std::string(utf8.substr(0, keep)) + kEllipsis;
}

std::string TerminalSafe(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const char32_t c = NextCodePoint(utf8, i);
        AppendUtf8(out, IsSteering(c) ? char32_t(0xFFFD) : c);
    }
    return out;
}

std::string PadTo(std::string_view text, int width)
{
    std::string out(text);
    for (int w = DisplayWidth(text); w < width; ++w)
        out += ' ';
    return out;
}
