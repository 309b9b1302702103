#pragma once
// UTF-8 for the programs that write text files and terminals without Qt (the probe, the CSV of the
// board). Texts stay GBK everywhere else; these are the last step before bytes leave the program.

#include <string>
#include <string_view>

// One code point, appended as UTF-8 (1 to 4 bytes).
void AppendUtf8(std::string& out, char32_t c);

// A lone surrogate, which no decoder of ours produces, becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// GbkToUtf16 (with its rule for broken bytes), then UTF-8.
std::string GbkToUtf8(std::string_view gbk);

// The ellipsis that ends a text cut short (U+2026, one column).
inline constexpr char kEllipsis[] = "\xE2\x80\xA6";

// A tooltip shows at most this many characters: a server's text may be 30,000 bytes long.
inline constexpr size_t kTipChars = 2000;

// At most maxChars code points: a longer text keeps its first maxChars - 1 and ends in the ellipsis.
// Never cuts inside a character; counts the bytes of broken UTF-8 as the characters they start.
std::string CutToChars(std::string_view utf8, size_t maxChars);
