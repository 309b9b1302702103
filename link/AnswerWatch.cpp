#include "link/AnswerWatch.h"

#include "common/HistorySink.h"
#include "link/Link.h"

AnswerWait WatchAnswer(const TagTcpConnection& link, int64_t nowMs)
{
    AnswerWait w;
    w.lastAnswerAt = link.lastAnswerAt.load();
    const int64_t sent = link.pollSentAt.load();
    if (!link.connected.load() || sent == 0)
        return w;
    w.waitedMs = nowMs > sent ? nowMs - sent : 0;
    w.overdue = w.waitedMs > link.timing.answerOverdue.count();
    return w;
}

bool TakeOverdueReport(TagTcpConnection& link)
{
    const bool first = !link.overdueReported.exchange(true);
    if (first) {
        if (HistorySink* history = History())
            history->AnswerOverdue(true);
    }
    return first;
}

TagBoardAge BoardAgeOf(bool connected, const AnswerWait& wait, int64_t nowMs)
{
    TagBoardAge age;
    if (connected && !wait.overdue)
        return age;
    age.why = connected ? TagBoardAge::Why::Overdue : TagBoardAge::Why::LinkDown;
    if (connected)
        age.waitedSeconds = wait.waitedMs / 1000;
    if (wait.lastAnswerAt != 0)
        age.ageSeconds = (nowMs > wait.lastAnswerAt ? nowMs - wait.lastAnswerAt : 0) / 1000;
    return age;
}
