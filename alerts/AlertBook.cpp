#include "alerts/AlertBook.h"

#include <algorithm>

namespace {

// A new board that leaves a line unwritten this long has no say of its own about it, and the old
// board's is too old to keep.
constexpr auto kPendingLimit = std::chrono::seconds(30);

std::chrono::seconds Threshold(const TagAlertRule& rule)
{
    return std::chrono::seconds(rule.Seconds);
}

} // namespace

std::vector<int> TAlertBook::SetRules(std::vector<TagAlertRule> rules)
{
    std::vector<int> oldToNew(rules_.size(), -1);
    std::vector<RuleState> state(rules.size());
    for (size_t i = 0; i < rules.size(); ++i)
        for (size_t j = 0; j < rules_.size(); ++j)
            if (oldToNew[j] < 0 && rules_[j] == rules[i]) {
                oldToNew[j] = int(i);
                state[i] = std::move(state_[j]);
                if (state[i].Alert)
                    state[i].Alert->Rule = int(i);
                break;
            }

    // Lines keep their state where their status is still looked for.
    TagStatusSet statuses;
    std::vector<int> statusOf(rules.size(), -1);
    for (size_t i = 0; i < rules.size(); ++i) {
        if (!JudgesBoard(rules[i].Kind))
            continue;
        int index = statuses.IndexOf(rules[i].Status);
        if (index < 0 && statuses.Texts.size() < kMaxAlertStatuses) {
            statuses.Texts.push_back(rules[i].Status);
            index = int(statuses.Texts.size()) - 1;
        }
        statusOf[i] = index;
    }
    for (LineState& line : lines_) {
        if (line.Status >= statuses_.Texts.size())
            continue;
        const int index = statuses.IndexOf(statuses_.Texts[line.Status]);
        line.Status = index < 0 ? kOtherStatus : uint8_t(index);
    }

    rules_ = std::move(rules);
    state_ = std::move(state);
    statusOf_ = std::move(statusOf);
    statuses_ = std::move(statuses);
    return oldToNew;
}

void TAlertBook::TrackLines(const TagBoardSample& board, BoardTime now)
{
    const bool sameBoard = board.Board == board_ && board.Created == boardCreated_;
    const size_t known = lines_.size();
    const size_t count = board.Status.size();
    lines_.resize(count);
    board_ = board.Board;
    boardCreated_ = board.Created;
    const bool pendingExpired = now - board.Created > kPendingLimit;

    for (size_t i = 0; i < count; ++i) {
        LineState& line = lines_[i];
        const uint8_t status = board.Status[i];
        const BoardTime since = board.Since[i];
        if (!sameBoard && i < known) {
            // A new board: the line keeps its moment if it shows what it showed, or until it is
            // written at all.
            line.Pending = status == kUnwritten;
            line.BoardSince = since;
            if (!line.Pending && status != line.Status)
                line = {status, false, since, since};
            continue;
        }
        if (line.Pending) {
            if (status == kUnwritten && !pendingExpired)
                continue;
            line.Pending = false;
            line.BoardSince = since;
            if (status != line.Status)
                line = {status, false, since, since};
            continue;
        }
        if (sameBoard && status == line.Status && since == line.BoardSince)
            continue;
        line = {status, false, since, since};
    }
}

void TAlertBook::Evaluate(const TagBoardSample* board, const TagLinkSample& link, BoardTime now)
{
    changes_.clear();
    refreshed_ = false;
    if (link.Connected) {
        if (!wasConnected_ || link.Session != session_) {
            // A new session's answers all count; a reconnected one's from the last seen while it was
            // down, so an answer that came before this tick saw the link up counts too.
            answerMark_ = link.Session != session_ ? 0 : lastAnswerSeen_;
            fresh_ = false;
        }
        if (!fresh_ && link.LastAnswerAt != answerMark_) {
            fresh_ = true;
            refreshed_ = judgedOnce_;
            judgedOnce_ = true;
        }
    } else {
        fresh_ = false;
    }
    wasConnected_ = link.Connected;
    session_ = link.Session;
    lastAnswerSeen_ = link.LastAnswerAt;

    if (board)
        TrackLines(*board, now);
    for (size_t i = 0; i < rules_.size(); ++i) {
        const TagAlertRule& rule = rules_[i];
        if (!rule.Enabled)
            continue;
        if (!JudgesBoard(rule.Kind))
            JudgeLinkRule(int(i), link, now);
        else if (board && fresh_)
            JudgeBoardRule(int(i), now);
    }
}

void TAlertBook::JudgeBoardRule(int rule, BoardTime now)
{
    const TagAlertRule& r = rules_[size_t(rule)];
    const int status = statusOf_[size_t(rule)];
    scratch_.clear();
    if (status < 0) {
        Settle(rule, false, now);
        return;
    }
    if (r.Kind == AlertKind::Stuck) {
        const auto over = Threshold(r);
        for (size_t i = 0; i < lines_.size(); ++i)
            if (lines_[i].Status == status && now - lines_[i].Since > over)
                scratch_.push_back(int(i));
        Settle(rule, !scratch_.empty(), now);
        return;
    }
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].Status == status)
            scratch_.push_back(int(i));
    const int showing = int(scratch_.size());
    const bool holds = r.Kind == AlertKind::Above ? showing > r.Count : showing < r.Count;
    Hold(rule, holds, now, now);
}

void TAlertBook::JudgeLinkRule(int rule, const TagLinkSample& link, BoardTime now)
{
    scratch_.clear();
    if (rules_[size_t(rule)].Kind == AlertKind::Link)
        Hold(rule, !link.Connected, now, now);
    else
        Hold(rule, link.Connected && link.OverdueSince, link.OverdueSince, now);
}

void TAlertBook::Hold(int rule, bool holds, std::optional<BoardTime> since, BoardTime now)
{
    RuleState& state = state_[size_t(rule)];
    if (!holds) {
        state.HoldsSince.reset();
        Settle(rule, false, now);
        return;
    }
    const BoardTime from = since.value_or(now);
    if (!state.HoldsSince || from < *state.HoldsSince)
        state.HoldsSince = from;
    Settle(rule, now - *state.HoldsSince > Threshold(rules_[size_t(rule)]), now);
}

void TAlertBook::Settle(int rule, bool active, BoardTime now)
{
    std::optional<TagActiveAlert>& alert = state_[size_t(rule)].Alert;
    if (!active) {
        if (alert) {
            changes_.push_back({AlertEvent::End, rule, int(alert->Lines.size()), alert->Since});
            alert.reset();
        }
        return;
    }
    if (!alert) {
        alert = TagActiveAlert{rule, now, scratch_, false};
        changes_.push_back({AlertEvent::Start, rule, int(scratch_.size()), now});
        return;
    }
    if (alert->Lines == scratch_)
        return;
    const bool countChanged = alert->Lines.size() != scratch_.size();
    alert->Lines.swap(scratch_);
    if (countChanged)
        changes_.push_back({AlertEvent::Change, rule, int(alert->Lines.size()), alert->Since});
}

const TagActiveAlert* TAlertBook::Active(int rule) const
{
    if (rule < 0 || size_t(rule) >= state_.size() || !state_[size_t(rule)].Alert)
        return nullptr;
    return &*state_[size_t(rule)].Alert;
}

std::vector<const TagActiveAlert*> TAlertBook::ActiveAlerts() const
{
    std::vector<const TagActiveAlert*> active;
    for (const RuleState& state : state_)
        if (state.Alert)
            active.push_back(&*state.Alert);
    return active;
}

bool TAlertBook::Acknowledge(int rule)
{
    if (rule < 0 || size_t(rule) >= state_.size() || !state_[size_t(rule)].Alert)
        return false;
    state_[size_t(rule)].Alert->Acknowledged = true;
    return true;
}

void TAlertBook::Snooze(int rule, BoardTime until)
{
    if (rule >= 0 && size_t(rule) < state_.size())
        state_[size_t(rule)].SnoozeUntil = until;
}

std::optional<BoardTime> TAlertBook::SnoozedUntil(int rule, BoardTime now) const
{
    if (rule < 0 || size_t(rule) >= state_.size())
        return std::nullopt;
    const std::optional<BoardTime>& until = state_[size_t(rule)].SnoozeUntil;
    if (until && now < *until)
        return until;
    return std::nullopt;
}

bool TAlertBook::Silenced(int rule, BoardTime now) const
{
    const TagActiveAlert* alert = Active(rule);
    return (alert && alert->Acknowledged) || SnoozedUntil(rule, now);
}
