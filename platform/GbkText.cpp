#include "platform/GbkText.h"

#include "platform/GbkTextSystem.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr char16_t kEuro = 0x20AC;
// Bounds every system call, so its counts fit in an int and a failed call is retried character by
// character over a bounded span only.
constexpr size_t kMaxRun = size_t(1) << 16;

unsigned char Byte(std::string_view s, size_t i)
{
    return static_cast<unsigned char>(s[i]);
}

bool IsLead(unsigned char b)
{
    return b >= 0x81 && b <= 0xFE;
}

bool IsTrail(unsigned char b)
{
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

bool IsSurrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDFFF;
}

bool IsPrivateUse(char16_t c)
{
    return c >= 0xE000 && c <= 0xF8FF;
}

// What a two-byte character may decode to; anything else is a table quirk of one platform.
bool IsAcceptedChar(char16_t c)
{
    return c >= 0x80 && !IsSurrogate(c) && !IsPrivateUse(c) && c != kReplacement;
}

// Checks the system's output from `start` on against the run it came from, one unit per character.
bool DecodedFaithfully(std::string_view run, const std::u16string& out, size_t start)
{
    size_t o = start;
    for (size_t i = 0; i < run.size(); ++o) {
        if (o >= out.size())
            return false;
        unsigned char b = Byte(run, i);
        if (b < 0x80 ? out[o] != b : !IsAcceptedChar(out[o]))
            return false;
        i += b < 0x80 ? 1 : 2;
    }
    return o == out.size();
}

// `run` holds ASCII bytes and complete two-byte characters only.
void DecodeRun(std::string_view run, std::u16string& out)
{
    const size_t start = out.size();
    if (GbkSystem::Decode(run, out) && DecodedFaithfully(run, out, start))
        return;
    out.resize(start);
    for (size_t i = 0; i < run.size();) {
        unsigned char b = Byte(run, i);
        if (b < 0x80) {
            out += char16_t(b);
            ++i;
            continue;
        }
        const size_t at = out.size();
        std::string_view one = run.substr(i, 2);
        if (!GbkSystem::Decode(one, out) || !DecodedFaithfully(one, out, at)) {
            out.resize(at);
            unsigned char trail = Byte(run, i + 1);
            out += kReplacement;
            out += trail < 0x80 ? char16_t(trail) : kReplacement;
        }
        i += 2;
    }
}

bool EncodedFaithfully(std::u16string_view run, const std::string& out, size_t start)
{
    size_t o = start;
    for (char16_t c : run) {
        if (c < 0x80) {
            if (o >= out.size() || Byte(out, o) != c)
                return false;
            ++o;
        } else {
            if (o + 1 >= out.size() || !IsLead(Byte(out, o)) || !IsTrail(Byte(out, o + 1)))
                return false;
            o += 2;
        }
    }
    return o == out.size();
}

// `run` holds no surrogates, no Private Use code points and none of the characters handled here.
void EncodeRun(std::u16string_view run, std::string& out)
{
    const size_t start = out.size();
    if (GbkSystem::Encode(run, out) && EncodedFaithfully(run, out, start))
        return;
    out.resize(start);
    for (char16_t c : run) {
        if (c < 0x80) {
            out += char(c);
            continue;
        }
        const size_t at = out.size();
        std::u16string_view one(&c, 1);
        if (!GbkSystem::Encode(one, out) || !EncodedFaithfully(one, out, at)) {
            out.resize(at);
            out += '?';
        }
    }
}

} // namespace

std::u16string GbkToUtf16(std::string_view gbk)
{
    std::u16string out;
    out.reserve(gbk.size());
    size_t runStart = 0;
    bool runIsAscii = true;
    auto flush = [&](size_t end) {
        std::string_view run = gbk.substr(runStart, end - runStart);
        if (runIsAscii)
            out.append(run.begin(), run.end());
        else
            DecodeRun(run, out);
        runStart = end;
        runIsAscii = true;
    };
    size_t i = 0;
    while (i < gbk.size()) {
        unsigned char b = Byte(gbk, i);
        if (b < 0x80) {
            ++i;
        } else if (IsLead(b) && i + 1 < gbk.size() && IsTrail(Byte(gbk, i + 1))) {
            runIsAscii = false;
            i += 2;
        } else {
            flush(i);
            out += b == 0x80 ? kEuro : kReplacement;
            runStart = ++i;
            continue;
        }
        if (i - runStart >= kMaxRun)
            flush(i);
    }
    flush(i);
    return out;
}

std::string Utf16ToGbk(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size() * 2);
    size_t runStart = 0;
    bool runIsAscii = true;
    auto flush = [&](size_t end) {
        std::u16string_view run = text.substr(runStart, end - runStart);
        if (runIsAscii)
            out.append(run.begin(), run.end());
        else
            EncodeRun(run, out);
        runStart = end;
        runIsAscii = true;
    };
    size_t i = 0;
    while (i < text.size()) {
        char16_t c = text[i];
        if (c != kEuro && c != kReplacement && !IsSurrogate(c) && !IsPrivateUse(c)) {
            runIsAscii = runIsAscii && c < 0x80;
            if (++i - runStart >= kMaxRun)
                flush(i);
            continue;
        }
        flush(i);
        const bool pair =
            c <= 0xDBFF && IsSurrogate(c) && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        out += c == kEuro ? '\x80' : '?';
        i += pair ? 2 : 1;
        runStart = i;
    }
    flush(i);
    return out;
}
