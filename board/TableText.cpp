#include "board/TableText.h"

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD

bool IsControl(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
}

} // namespace

std::string SpreadsheetText(std::string_view text)
{
    std::string out;
    if (!text.empty()) {
        switch (text.front()) {
        case '=':
        case '+':
        case '-':
        case '@':
        case '\t':
        case '\r':
            out.reserve(text.size() + 1);
            out += '\'';
            break;
        default:
            break;
        }
    }
    out += text;
    return out;
}

std::string WithoutControls(std::string_view utf8)
{
    std::string out;
    size_t from = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (IsControl(utf8[i])) {
            out.append(utf8.substr(from, i - from));
            out += kReplacement;
            from = i + 1;
        }
    }
    if (from == 0)
        return std::string(utf8);
    out.append(utf8.substr(from));
    return out;
}

std::string TabSeparated(const std::vector<std::vector<std::string>>& rows)
{
    std::string out;
    std::string cell;
    for (const std::vector<std::string>& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) {
            if (c > 0)
                out += '\t';
            cell.clear();
            for (char ch : row[c]) {
                if (ch == '\t' || ch == '\n' || ch == '\r')
                    cell += ' ';
                else if (IsControl(ch))
                    cell += kReplacement;
                else
                    cell += ch;
            }
            out += SpreadsheetText(cell);
        }
        out += '\n';
    }
    return out;
}
