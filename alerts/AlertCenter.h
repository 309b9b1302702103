#pragma once
// One tick of the alerts, start to end: the book judges the samples, the plan decides the
// notifications, the notifier shows them, Monitor.log gets a line per start, end, acknowledge and
// snooze. The GUI owns one, samples the board under its lock (SampleBoard into BoardSample()), then
// calls Tick outside it.

#include "alerts/AlertBook.h"
#include "alerts/AlertText.h"
#include "alerts/NoticePlan.h"
#include "alerts/Notifier.h"

#include <chrono>
#include <functional>
#include <string>

class TAlertCenter {
public:
    // notifier may be null: then the log and the alerts window are all. It must outlive the center.
    TAlertCenter(AlertNotifier* notifier, TextDecoder decode, TagNoticeTiming timing = {});
    ~TAlertCenter();
    TAlertCenter(const TAlertCenter&) = delete;
    TAlertCenter& operator=(const TAlertCenter&) = delete;

    // Replaces the notifier (null: none), e.g. once the desktop's has been found; the old one hears
    // nothing more from the center. The same terms as the constructor's.
    void SetNotifier(AlertNotifier* notifier);
    AlertNotifier* Notifier() const { return notifier_; }

    // Every line the center writes to Monitor.log, as written (GBK), right after it: where the
    // history journal takes the alerts' events when history is on. Unset: Monitor.log alone.
    std::function<void(const std::string& line)> Journal;
    // Every call of the notification plan at a tick, whether or not a notifier shows it: the sounds
    // follow the plan, so they never flood either.
    std::function<void(const TagNoticeCall& call, BoardTime now)> Planned;

    // The valid rules. Alerts of rules that changed or went end (logged); equal rules keep theirs.
    void SetRules(std::vector<TagAlertRule> rules);

    // The reminder interval and the other timings, from the next tick on.
    void SetTiming(const TagNoticeTiming& timing) { plan_.SetTiming(timing); }

    const TagStatusSet& Statuses() const { return book_.Statuses(); }
    TagBoardSample& BoardSample() { return sample_; }

    // Judges at now: with the board sampled into BoardSample() when boardSampled, else without one.
    void Tick(bool boardSampled, const TagLinkSample& link, BoardTime now);

    // The operator's acts on a rule's alert, from the alerts window. False when there is nothing to do.
    bool Acknowledge(int rule);
    void Snooze(int rule, std::chrono::minutes minutes, BoardTime now);

    const TAlertBook& Book() const { return book_; }
    const TNoticePlan& Plan() const { return plan_; }

private:
    void Log(const std::string& line);
    void NoticeAcknowledged(int key);
    void NoticeClosed(int key);

    AlertNotifier* notifier_ = nullptr;
    TextDecoder decode_;
    TAlertBook book_;
    TNoticePlan plan_;
    TagBoardSample sample_;
};
