#pragma once
// Cells as text that leaves the program for a spreadsheet or a file: the clipboard's tab-separated
// rows, the fields of a CSV.

#include <string>
#include <string_view>
#include <vector>

// A spreadsheet takes a field that starts with = + - @, a tab or a carriage return for a formula
// (=HYPERLINK(...), +cmd|...!A0) and runs it. Such a field gets a leading ' so that it is shown as
// the text it is; every other field comes back unchanged. The text is UTF-8 (or any ASCII superset).
std::string SpreadsheetText(std::string_view text);

// Every C0 control character and DEL replaced by U+FFFD (UTF-8), so a server's escape sequences
// never reach a terminal or a file raw. These bytes never occur inside a multi-byte UTF-8 sequence,
// so the rest of the text is untouched.
std::string WithoutControls(std::string_view utf8);

// A range of cells (UTF-8) for the clipboard: tab-separated, each row ending in a newline, as
// spreadsheets and editors take it when pasted. Tabs and line ends inside a cell become blanks, so
// the rows and columns keep their shape; other control characters become U+FFFD; a cell that a
// spreadsheet would run as a formula is neutralised as SpreadsheetText says.
std::string TabSeparated(const std::vector<std::vector<std::string>>& rows);
