#pragma once
// Texts a hostile or broken CTI server may send, for trying every surface of the monitor and the
// probe that shows a server's text: formulas a spreadsheet would run, control bytes, markup, bytes
// that are not GBK, texts as long as a frame can carry, a distinct status on every line.

#include <cstddef>
#include <string>

enum class SimHostile {
    Off,
    Mix,  // every kind below on one board, the status column distinct on every line
    Long, // every status a distinct text of kHostileLongBytes that agrees with the others but for its end
};

// The longest text one answer can carry: the frame's length field, the line count and one record
// (line, column, two colours, the text and its closing 0 byte) fill the monitor's 30000-byte buffer.
inline constexpr size_t kHostileLongBytes = 30000 - 4 - 2 - 6;

// The kinds of text Mix puts in the status column, line by line in turn.
enum class HostileKind { Formula, Controls, Markup, BrokenGbk, AllBytes, Long, Chinese };
inline constexpr int kHostileKinds = 7;
HostileKind HostileStatusKind(int line);

// What a hostile server shows in a cell in place of plain: never a 0 byte (it ends a text on the
// wire); the status column distinct on every line and for every plain text; the line number
// column as it is, so lines can still be found.
std::string HostileText(SimHostile mode, int line, int column, const std::string& plain);

// The top panel's text.
std::string HostileSummary(const std::string& plain);
