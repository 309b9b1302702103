#pragma once
// Character tests and case mapping for the 8-bit texts of the files and the wire. They look at ASCII
// alone, whatever the process locale says: the GUI library sets the locale from the environment, and
// under a Turkish one the C library's toupper leaves 'i' alone, so "english" would become "ENGLiSH"
// and "title1" would never match. Bytes of 0x80 and above (GBK) are never digits, blanks or letters.

constexpr bool AsciiIsDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

// Blank, tab, line feed, vertical tab, form feed and carriage return: what the C library's isspace
// finds in the "C" locale.
constexpr bool AsciiIsSpace(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

constexpr char AsciiToUpper(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}
