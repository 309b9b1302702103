#pragma once
// GBK (code page 936) <-> UTF-16 without Qt. The same on every platform, whatever its system table adds:
// ASCII is itself and 0x80 is the euro sign, as on Windows. Every non-ASCII byte outside a convertible
// lead 0x81-0xFE + trail 0x40-0xFE (not 0x7F) becomes U+FFFD; so do both bytes of a character only
// Windows maps (into the Private Use Area), except an ASCII trail. Encoding writes one '?' per code
// point without a GBK form: unpaired surrogates, beyond the BMP, the Private Use Area.

#include <string>
#include <string_view>

std::u16string GbkToUtf16(std::string_view gbk);
std::string Utf16ToGbk(std::u16string_view text);
