#include "board/BoardSearch.h"

#include "board/Board.h"
#include "platform/GbkText.h"

#include <algorithm>
#include <string>

namespace {

char16_t Fold(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
}

bool Contains(std::u16string_view text, std::u16string_view foldedQuery)
{
    if (foldedQuery.size() > text.size())
        return false;
    const auto equal = [](char16_t a, char16_t b) { return Fold(a) == b; };
    return std::search(text.begin(), text.end(), foldedQuery.begin(), foldedQuery.end(), equal) != text.end();
}

bool IsAscii(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace

std::vector<int> FindLines(const TagMonitor& board, std::u16string_view query)
{
    std::vector<int> lines;
    if (query.empty())
        return lines;
    std::u16string folded(query);
    for (char16_t& c : folded)
        c = Fold(c);
    std::u16string text;
    for (int line = 0; line < board.LineCount; ++line) {
        const std::string number = std::to_string(line);
        bool found = Contains(std::u16string(number.begin(), number.end()), folded);
        for (int k = 0; k < kColsPerLine && !found; ++k) {
            const std::string& gbk = board.Rows[size_t(line)].Cols[k].Text;
            if (IsAscii(gbk))
                text.assign(gbk.begin(), gbk.end());
            else
                text = GbkToUtf16(gbk);
            found = Contains(text, folded);
        }
        if (found)
            lines.push_back(line);
    }
    return lines;
}

int NextMatch(const std::vector<int>& matches, int from, bool backwards)
{
    if (matches.empty())
        return -1;
    if (backwards) {
        auto it = std::lower_bound(matches.begin(), matches.end(), from);
        return it == matches.begin() ? matches.back() : *std::prev(it);
    }
    auto it = std::upper_bound(matches.begin(), matches.end(), from);
    return it == matches.end() ? matches.front() : *it;
}
