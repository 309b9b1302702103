#pragma once
// UTF-8 text for a terminal: how many columns it takes, and a form that cannot steer the terminal.

#include "platform/Utf8.h"

#include <string>
#include <string_view>

// Columns a terminal gives the text: East Asian wide and fullwidth characters take two, combining
// marks and zero-width characters none, everything else one. Bytes that are not UTF-8 take one
// each (the probe never writes any).
int DisplayWidth(std::string_view utf8);

// The text with every control character (C0, DEL, C1, and the bidirectional overrides and isolates
// that reorder what follows them) replaced by U+FFFD: a server's text may hold escape sequences.
std::string TerminalSafe(std::string_view utf8);

// The code points TerminalSafe replaces.
bool IsSteering(char32_t c);

// text followed by blanks up to width columns (none when it is wider already).
std::string PadTo(std::string_view text, int width);

// kEllipsis and CutToChars are platform/Utf8.h's.

// At most maxColumns display columns (as DisplayWidth counts them): a wider text keeps what fits in
// maxColumns - 1 and ends in the ellipsis.
std::string CutToWidth(std::string_view utf8, int maxColumns);

// At most maxBytes bytes (maxBytes of 3 or more), cut between code points: a longer text ends in the
// ellipsis within the bound.
std::string CutToBytes(std::string_view utf8, size_t maxBytes);

// Decodes the UTF-8 sequence at text[i]; advances i. Malformed bytes come out one at a time as U+FFFD.
char32_t NextCodePoint(std::string_view text, size_t& i);
