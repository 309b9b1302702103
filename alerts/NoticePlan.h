#pragma once
// Which notifications to show, replace and close, so that alerts call the operator without a
// flood: one notification per rule when it fires, with its lines grouped; alerts that fire at the
// same tick share one; after start-up and after a reconnection one summary gathers whatever is
// active; reminders at most every so often per rule; a cleared alert closes its notification; an
// alert that fires and clears within the flap window holds its rule back for that long.

#include "alerts/AlertBook.h"

#include <chrono>
#include <map>
#include <vector>

struct TagNoticeTiming {
    // 0: no reminders.
    std::chrono::seconds Reminder = std::chrono::minutes(15);
    std::chrono::seconds FlapWindow = std::chrono::minutes(1);
    // After the summary of a start-up or a reconnection, alerts that fire within this long join it.
    std::chrono::seconds GatherWindow = std::chrono::minutes(1);
    // A notification shown is replaced for a change of its line counts at most this often; a member
    // that joins or leaves replaces it at once.
    std::chrono::seconds UpdateEvery = std::chrono::seconds(5);
};

enum class NoticeOp { Show, Close };

struct TagNoticeCall {
    NoticeOp Op = NoticeOp::Show;
    int Key = 0;              // the notification; a Show of a key shown before replaces it
    std::vector<int> Members; // the rules it tells of, ascending (Show only)
    bool Reminder = false;    // shown again because the alerts are still active
    bool Summary = false;     // the summary of a start-up or a reconnection
};

class TNoticePlan {
public:
    explicit TNoticePlan(TagNoticeTiming timing = {}) : timing_(timing) {}
    // From the next Plan on (the operator changed the reminder interval).
    void SetTiming(const TagNoticeTiming& timing) { timing_ = timing; }
    const TagNoticeTiming& Timing() const { return timing_; }

    // The calls of this tick, after book.Evaluate.
    std::vector<TagNoticeCall> Plan(const TAlertBook& book, BoardTime now);

    // The notification server (or the operator there) closed key: it is forgotten; its alerts are
    // not shown again before their reminder.
    void Closed(int key);
    // The rules key tells of (empty for an unknown key).
    std::vector<int> Members(int key) const;
    // The notification that tells of rule, 0 for none.
    int NoticeOf(int rule) const;
    // The book's rules were replaced (TAlertBook::SetRules's answer): rules that are gone leave
    // their notifications, which the next Plan replaces or closes.
    void Remap(const std::vector<int>& oldToNew);

private:
    struct RuleNotes {
        int Notice = 0;
        std::optional<BoardTime> LastShown; // of the current alert
        std::optional<BoardTime> HeldUntil; // flapping
        std::optional<BoardTime> AlertSince;
        bool WasSnoozed = false;
    };
    struct Notice {
        std::vector<int> Members;
        BoardTime ShownAt{};
        bool Summary = false;
        bool Dirty = false;   // a count changed: replaced when UpdateEvery allows
        bool Changed = false; // a member joined or left: replaced at once
    };

    RuleNotes& Notes(int rule);
    void Leave(int rule);
    void CloseAll(std::vector<TagNoticeCall>& calls);

    TagNoticeTiming timing_;
    std::vector<RuleNotes> rules_;
    std::map<int, Notice> notices_;
    int nextKey_ = 1;
    bool summaryDue_ = true; // start-up
    int gatherKey_ = 0;
    BoardTime gatherUntil_{};
};
