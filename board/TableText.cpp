#include "board/TableText.h"

std::string TabSeparated(const std::vector<std::vector<std::string>>& rows)
{
    std::string out;
    for (const std::vector<std::string>& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) {
            if (c > 0)
                out += '\t';
            for (char ch : row[c])
                out += (ch == '\t' || ch == '\n' || ch == '\r') ? ' ' : ch;
        }
        out += '\n';
    }
    return out;
}
