#include "alerts/AlertSample.h"

#include "board/BoardCsv.h"
#include "link/AnswerWatch.h"
#include "link/Link.h"

int TagStatusSet::IndexOf(std::string_view text) const
{
    for (size_t i = 0; i < Texts.size(); ++i)
        if (Texts[i] == text)
            return int(i);
    return -1;
}

void SampleBoard(const TagMonitor& board, const TagStatusSet& statuses, TagBoardSample& sample)
{
    const auto lines = size_t(board.LineCount);
    sample.Board = &board;
    sample.Created = board.Created;
    sample.Status.resize(lines);
    sample.Since.resize(lines);
    for (size_t line = 0; line < lines; ++line) {
        const TagLineCols& cell = board.Rows[line].Cols[kDefaultStatusColumn];
        sample.Since[line] = cell.Since;
        if (cell.Text.empty() && cell.Since == board.Created) {
            sample.Status[line] = kUnwritten;
            continue;
        }
        const int index = statuses.IndexOf(cell.Text);
        sample.Status[line] = index < 0 ? kOtherStatus : uint8_t(index);
    }
}

TagLinkSample SampleLink(const TagTcpConnection* link, BoardTime now, int64_t nowMs)
{
    TagLinkSample sample;
    if (!link)
        return sample;
    sample.Session = link;
    sample.Connected = link->connected.load();
    const AnswerWait wait = WatchAnswer(*link, nowMs);
    sample.LastAnswerAt = wait.lastAnswerAt;
    if (wait.overdue) {
        const int64_t overdueMs = wait.waitedMs - int64_t(link->timing.answerOverdue.count());
        sample.OverdueSince = now - std::chrono::milliseconds(overdueMs);
    }
    return sample;
}
