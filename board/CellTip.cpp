#include "board/CellTip.h"

#include "common/SpanText.h"
#include "platform/System.h"
#include "platform/Utf8.h"

#include <cstdio>

std::string CellTip(const TagMonitor& board, int line, int column, const TagCsvClock& at)
{
    if (line < 0 || line >= board.LineCount || column < 0 || column >= kColsPerLine)
        return std::string();
    const TagLineCols& cell = board.Rows[size_t(line)].Cols[column];
    const auto inState = at.Now > cell.Since ? at.Now - cell.Since : std::chrono::steady_clock::duration::zero();
    const auto since = std::chrono::system_clock::to_time_t(
        at.WallNow - std::chrono::duration_cast<std::chrono::system_clock::duration>(inState));
    const std::tm local = LocalTime(since);
    char clock[16];
    std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(inState).count();
    const std::string head = "Line " + std::to_string(line) + "\n";
    const std::string tail = std::string("\nsince ") + clock + " (for " + SpanText(seconds) + ")"; // ASCII
    // Only the first characters are decoded: no more than two bytes of GBK make one.
    const size_t room = kTipChars - head.size() - tail.size();
    const std::string_view text(cell.Text);
    return head + CutToChars(GbkToUtf8(text.substr(0, 2 * (room + 1))), room) + tail;
}
