#pragma once
// The evaluator: judges the rules at each tick and keeps the active alerts with what the operator
// did to them (acknowledged, snoozed). It keeps its own time in state per line, which follows the
// board's except across a board replacement or a new session: a line that shows the same status on
// the new board as on the old one keeps the moment it began to show it, so a replacement neither
// ends its alert nor makes it start again later.

#include "alerts/AlertRule.h"
#include "alerts/AlertSample.h"

#include <optional>
#include <vector>

enum class AlertEvent { Start, Change, End };

struct TagAlertChange {
    AlertEvent Event;
    int Rule;
    int Lines;           // the lines concerned after the change (at the end: before it)
    BoardTime StartedAt; // when the alert started
};

struct TagActiveAlert {
    int Rule = -1;          // index into the book's rules
    BoardTime Since{};      // when the alert started
    std::vector<int> Lines; // the lines concerned, ascending (board rules only)
    bool Acknowledged = false;
};

class TAlertBook {
public:
    // Only valid rules are given; a disabled one is never judged. A rule equal to one of the old
    // rules keeps its alert and its snooze; the alerts of the others are dropped without an event.
    // Returns, per old rule, its index among the new ones (-1: gone).
    std::vector<int> SetRules(std::vector<TagAlertRule> rules);
    const std::vector<TagAlertRule>& Rules() const { return rules_; }

    // The statuses to sample the board for.
    const TagStatusSet& Statuses() const { return statuses_; }

    // Judges every enabled rule at now. board is null while there is none. The board rules keep
    // their state while the link is down and until an answer has come since it came up: the board
    // then shows old data, which would make lines look stuck that are not.
    void Evaluate(const TagBoardSample* board, const TagLinkSample& link, BoardTime now);

    // What the last Evaluate changed.
    const std::vector<TagAlertChange>& Changes() const { return changes_; }
    // True on the tick that first judges fresh data after the link came up again or a new session
    // began; false on the first of all (start-up).
    bool Refreshed() const { return refreshed_; }

    // The alert of rule, or null.
    const TagActiveAlert* Active(int rule) const;
    // Every active alert, in rule order.
    std::vector<const TagActiveAlert*> ActiveAlerts() const;

    // Silences rule's alert until it ends. False when it has none.
    bool Acknowledge(int rule);
    // Silences rule (its alert and any that starts) until the moment given.
    void Snooze(int rule, BoardTime until);
    std::optional<BoardTime> SnoozedUntil(int rule, BoardTime now) const;
    // Acknowledged, or snoozed at now: no notification for it.
    bool Silenced(int rule, BoardTime now) const;

private:
    struct LineState {
        uint8_t Status = kOtherStatus;
        bool Pending = false; // a new board has not written the line yet: the old state holds
        BoardTime Since{};    // when the line began to show Status, carried across boards
        BoardTime BoardSince{};
    };
    struct RuleState {
        std::optional<TagActiveAlert> Alert;
        std::optional<BoardTime> HoldsSince; // when the condition began to hold
        std::optional<BoardTime> SnoozeUntil;
    };

    void TrackLines(const TagBoardSample& board, BoardTime now);
    void JudgeBoardRule(int rule, BoardTime now);
    void JudgeLinkRule(int rule, const TagLinkSample& link, BoardTime now);
    void Hold(int rule, bool holds, std::optional<BoardTime> since, BoardTime now);
    void Settle(int rule, bool active, BoardTime now);

    std::vector<TagAlertRule> rules_;
    std::vector<RuleState> state_;
    std::vector<int> statusOf_; // per rule: index into statuses_, -1 for the link rules
    TagStatusSet statuses_;
    std::vector<TagAlertChange> changes_;

    std::vector<LineState> lines_;
    const TagMonitor* board_ = nullptr;
    BoardTime boardCreated_{};
    std::vector<int> scratch_;

    bool wasConnected_ = false;
    const void* session_ = nullptr;
    int64_t answerMark_ = 0;
    int64_t lastAnswerSeen_ = 0;
    bool fresh_ = false;
    bool refreshed_ = false;
    bool judgedOnce_ = false;
};
