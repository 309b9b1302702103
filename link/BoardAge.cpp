#include "link/BoardAge.h"

#include "common/SpanText.h"

namespace {

std::string DataAge(const AnswerWait& wait, int64_t nowMs)
{
    if (wait.lastAnswerAt == 0)
        return "no answer yet";
    const int64_t ageMs = nowMs > wait.lastAnswerAt ? nowMs - wait.lastAnswerAt : 0;
    return "data " + SpanText(ageMs / 1000) + " old";
}

} // namespace

std::string BoardAgeText(bool connected, const AnswerWait& wait, int64_t nowMs)
{
    if (!connected)
        return "Link down: " + DataAge(wait, nowMs);
    if (wait.overdue)
        return "Answer overdue (waited " + SpanText(wait.waitedMs / 1000) + "): " + DataAge(wait, nowMs);
    return std::string();
}
