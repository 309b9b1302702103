#include "alerts/NoticePlan.h"

#include <algorithm>
#include <set>

TNoticePlan::RuleNotes& TNoticePlan::Notes(int rule)
{
    if (size_t(rule) >= rules_.size())
        rules_.resize(size_t(rule) + 1);
    return rules_[size_t(rule)];
}

void TNoticePlan::Leave(int rule)
{
    RuleNotes& notes = Notes(rule);
    const auto it = notices_.find(notes.Notice);
    notes.Notice = 0;
    if (it == notices_.end())
        return;
    std::vector<int>& members = it->second.Members;
    members.erase(std::remove(members.begin(), members.end(), rule), members.end());
    it->second.Changed = true;
}

void TNoticePlan::CloseAll(std::vector<TagNoticeCall>& calls)
{
    for (const auto& [key, notice] : notices_)
        calls.push_back({NoticeOp::Close, key, {}, false, false});
    notices_.clear();
    gatherKey_ = 0;
    for (RuleNotes& notes : rules_) {
        notes.Notice = 0;
        notes.LastShown.reset();
    }
}

std::vector<TagNoticeCall> TNoticePlan::Plan(const TAlertBook& book, BoardTime now)
{
    std::vector<TagNoticeCall> calls;
    if (rules_.size() < book.Rules().size())
        rules_.resize(book.Rules().size());

    if (book.Refreshed()) {
        // Whatever is active after a reconnection is told once, together.
        CloseAll(calls);
        summaryDue_ = true;
    }

    for (const TagAlertChange& change : book.Changes()) {
        RuleNotes& notes = Notes(change.Rule);
        switch (change.Event) {
        case AlertEvent::Start:
            notes.LastShown.reset();
            break;
        case AlertEvent::Change:
            if (const auto it = notices_.find(notes.Notice); it != notices_.end())
                it->second.Dirty = true;
            break;
        case AlertEvent::End:
            Leave(change.Rule);
            notes.LastShown.reset();
            if (now - change.StartedAt < timing_.FlapWindow)
                notes.HeldUntil = now + timing_.FlapWindow;
            break;
        }
    }

    std::vector<int> due;
    std::set<int> remind;
    bool dueAgain = false;
    for (size_t rule = 0; rule < rules_.size(); ++rule) {
        RuleNotes& notes = rules_[rule];
        const bool snoozed = book.SnoozedUntil(int(rule), now).has_value();
        if (notes.WasSnoozed && !snoozed) {
            // A snooze that ends tells of the alert again at once.
            notes.LastShown.reset();
        }
        notes.WasSnoozed = snoozed;
        if (book.Silenced(int(rule), now)) {
            if (notes.Notice)
                Leave(int(rule));
            continue;
        }
        if (!book.Active(int(rule)) || (notes.HeldUntil && now < *notes.HeldUntil))
            continue;
        const bool reminderDue =
            notes.LastShown && timing_.Reminder.count() > 0 && now - *notes.LastShown >= timing_.Reminder;
        if (notes.Notice == 0 && (!notes.LastShown || reminderDue)) {
            dueAgain = dueAgain || notes.LastShown.has_value();
            due.push_back(int(rule));
        } else if (notes.Notice != 0 && reminderDue) {
            remind.insert(notes.Notice);
        }
    }

    if (!due.empty()) {
        int key = 0;
        if (!summaryDue_ && gatherKey_ && notices_.contains(gatherKey_) && now < gatherUntil_) {
            key = gatherKey_;
            Notice& notice = notices_[key];
            notice.Members.insert(notice.Members.end(), due.begin(), due.end());
            std::sort(notice.Members.begin(), notice.Members.end());
            notice.Changed = true;
        } else {
            key = nextKey_++;
            Notice& notice = notices_[key];
            notice.Members = due;
            notice.ShownAt = now;
            notice.Summary = summaryDue_;
            calls.push_back({NoticeOp::Show, key, due, dueAgain, summaryDue_});
            if (summaryDue_) {
                gatherKey_ = key;
                gatherUntil_ = now + timing_.GatherWindow;
                summaryDue_ = false;
            }
        }
        for (const int rule : due) {
            rules_[size_t(rule)].Notice = key;
            rules_[size_t(rule)].LastShown = now;
        }
    }

    for (auto it = notices_.begin(); it != notices_.end();) {
        const int key = it->first;
        Notice& notice = it->second;
        if (notice.Members.empty()) {
            calls.push_back({NoticeOp::Close, key, {}, false, false});
            if (key == gatherKey_)
                gatherKey_ = 0;
            it = notices_.erase(it);
            continue;
        }
        const bool reminder = remind.contains(key);
        if (reminder || notice.Changed || (notice.Dirty && now - notice.ShownAt >= timing_.UpdateEvery)) {
            calls.push_back({NoticeOp::Show, key, notice.Members, reminder, notice.Summary});
            notice.ShownAt = now;
            notice.Changed = false;
            notice.Dirty = false;
            if (reminder)
                for (const int rule : notice.Members)
                    rules_[size_t(rule)].LastShown = now;
        }
        ++it;
    }
    return calls;
}

void TNoticePlan::Closed(int key)
{
    const auto it = notices_.find(key);
    if (it == notices_.end())
        return;
    for (const int rule : it->second.Members)
        Notes(rule).Notice = 0;
    notices_.erase(it);
    if (key == gatherKey_)
        gatherKey_ = 0;
}

std::vector<int> TNoticePlan::Members(int key) const
{
    const auto it = notices_.find(key);
    return it == notices_.end() ? std::vector<int>{} : it->second.Members;
}

int TNoticePlan::NoticeOf(int rule) const
{
    return rule >= 0 && size_t(rule) < rules_.size() ? rules_[size_t(rule)].Notice : 0;
}

void TNoticePlan::Remap(const std::vector<int>& oldToNew)
{
    std::vector<RuleNotes> rules;
    for (size_t old = 0; old < rules_.size() && old < oldToNew.size(); ++old) {
        const int rule = oldToNew[old];
        if (rule < 0)
            continue;
        if (size_t(rule) >= rules.size())
            rules.resize(size_t(rule) + 1);
        rules[size_t(rule)] = rules_[old];
    }
    rules_ = std::move(rules);
    for (auto& [key, notice] : notices_) {
        std::vector<int> members;
        for (const int old : notice.Members)
            if (size_t(old) < oldToNew.size() && oldToNew[size_t(old)] >= 0)
                members.push_back(oldToNew[size_t(old)]);
        std::sort(members.begin(), members.end());
        if (members.size() != notice.Members.size())
            notice.Changed = true;
        notice.Members = std::move(members);
    }
}
