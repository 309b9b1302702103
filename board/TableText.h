#pragma once
// A range of cells as text for the clipboard: tab-separated, each row ending in a newline, as
// spreadsheets and editors take it when pasted.

#include <string>
#include <vector>

// Tabs and line ends inside a cell become blanks, so the rows and columns keep their shape.
std::string TabSeparated(const std::vector<std::vector<std::string>>& rows);
