#pragma once
// The alerts of the main window: the rules of the per-user store judged at every refresh tick, the
// desktop's notifications and sounds, and the alerts window. The main window owns one, calls Tick from
// its timer and Open from its "Alerts..." item; nothing else of the main window changes.

#include "alerts/AlertCenter.h"
#include "alerts/NoticeSound.h"
#include "alerts/qt/Notifiers.h"
#include "app/AlertsForm.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class QSystemTrayIcon;
class QWidget;

class TAlerts : public QObject {
    Q_OBJECT
public:
    // window: the main window, parent of the alerts window and of the tray icon. Reads the store.
    explicit TAlerts(QWidget* window);
    ~TAlerts() override;
    TAlerts(const TAlerts&) = delete;
    TAlerts& operator=(const TAlerts&) = delete;

    // What tests replace before the first tick. The link as the rules see it at now (by default the
    // current session's link); the desktop's notifier, asked for at the first tick that has an
    // enabled rule (by default the session bus, else a tray icon, else none); the sound.
    std::function<TagLinkSample(BoardTime now)> SampleLinkAt;
    std::function<TagNotifierChoice()> ChooseNotifier;
    std::function<void()> Beep;

    // The refresh tick: the board sampled under its locks, the rules judged after them, the
    // notifications planned, the alerts window refreshed when it is open. Never takes the focus.
    void Tick();
    // Opens the alerts window (made when first asked for).
    void Open();
    TAlertsForm* Form() const { return form_.data(); }

    // The board's clock, on which the alerts' moments are.
    static BoardTime Now();

    // The rules as stored, the invalid ones too, in store order.
    const std::vector<TagRuleEntry>& Rules() const { return rules_; }
    // Stores rules and judges the valid ones from the next tick. False when the store could not be
    // written: they then hold until the program ends.
    bool SetRules(std::vector<TagRuleEntry> rules);
    // The book's index of a stored rule (-1: invalid), and the other way round.
    int RuleOfEntry(int entry) const;
    int EntryOfRule(int rule) const;

    int ReminderMinutes() const { return reminderMinutes_; }
    void SetReminderMinutes(int minutes);
    TagSoundChoice Sounds() const { return sound_.Choice(); }
    void SetSounds(TagSoundChoice sounds);

    // The operator's acts on a rule's alert (the book's index).
    void Acknowledge(int rule);
    void Snooze(int rule, std::chrono::minutes minutes);

    const TAlertCenter& Center() const { return center_; }
    // How the alerts reach the operator, for the window: "Notifications: session bus (...)", ...
    QString NotifierText() const;
    // What went wrong with the store (it cannot be written, a bad reminderMinutes), or nothing.
    QString StoreProblem() const;

signals:
    // The operator clicked a line of an alert: the grid goes to it.
    void LineChosen(int line);

private:
    void ApplyRules();
    void ChooseNotifierOnce();
    TagNotifierChoice DesktopNotifier();
    void RefreshForm();

    QWidget* window_;
    QSystemTrayIcon* tray_ = nullptr;
    // Before the center: the center lets go of it when it is destroyed.
    std::unique_ptr<AlertNotifier> notifier_;
    TAlertCenter center_;
    TNoticeSound sound_;
    std::vector<TagRuleEntry> rules_;
    std::vector<int> entryOfRule_;
    int reminderMinutes_ = TagAlertOptions().ReminderMinutes;
    bool notifierChosen_ = false;
    QString notifierName_;
    QString notifierWhy_;
    QString storeProblem_;
    QString optionsProblem_;
    QPointer<TAlertsForm> form_;
};
