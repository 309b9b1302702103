#include "app/Alerts.h"

#include "alerts/AlertSample.h"
#include "alerts/qt/AlertStore.h"
#include "alerts/qt/TrayNotifier.h"
#include "board/BoardRead.h"
#include "link/Link.h"
#include "platform/qt/Gbk.h"
#include "settings/EventLog.h"
#include "settings/qt/Placement.h"

#include <QApplication>
#include <QSettings>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QWidget>
#include <algorithm>

namespace {

std::string DecodeGbk(std::string_view gbk)
{
    return FromGbk(gbk).toUtf8().toStdString();
}

} // namespace

TAlerts::TAlerts(QWidget* window) : QObject(window), window_(window), center_(nullptr, &DecodeGbk)
{
    setObjectName(QStringLiteral("Alerts"));
    SampleLinkAt = [](BoardTime now) { return SampleLink(CurLink, now, SteadyMs()); };
    Beep = [] { QApplication::beep(); };
    center_.Planned = [this](const TagNoticeCall& call, BoardTime now) {
        if (sound_.Rings(call, center_.Book().Rules(), now) && Beep)
            Beep();
    };
    // The history journal, when history is on, takes the alerts' events from center_.Journal: every
    // line Monitor.log gets, as it gets it.

    // A store that cannot be opened shows no box: there are no rules then.
    if (std::unique_ptr<QSettings> store = OpenPlacementStore()) {
        TagAlertStore read = ReadAlertStore(*store);
        rules_ = std::move(read.Rules);
        if (!read.Options.Error.empty())
            optionsProblem_ = QStringLiteral("The stored reminder is ignored: ") + FromGbk(read.Options.Error);
        reminderMinutes_ = read.Options.Options.ReminderMinutes;
        sound_.SetChoice(read.Sounds);
    }
    TagNoticeTiming timing = center_.Plan().Timing();
    timing.Reminder = std::chrono::minutes(reminderMinutes_);
    center_.SetTiming(timing);
    ApplyRules();
}

TAlerts::~TAlerts()
{
    // The window reads this object to its end; it goes first.
    delete form_.data();
}

BoardTime TAlerts::Now()
{
    return BoardClock.load()();
}

void TAlerts::Tick()
{
    ChooseNotifierOnce();
    const BoardTime now = Now();
    bool sampled = false;
    // Only the sampling runs under the board's locks: a byte and a moment per line, no text.
    if (!center_.Statuses().Texts.empty())
        sampled = ReadCurBoard([this](const TagMonitor& board) {
                      SampleBoard(board, center_.Statuses(), center_.BoardSample());
                  }) == BoardState::Read;
    center_.Tick(sampled, SampleLinkAt ? SampleLinkAt(now) : TagLinkSample{}, now);
    RefreshForm();
}

void TAlerts::Open()
{
    if (!form_) {
        form_ = new TAlertsForm(*this, window_);
        connect(form_, &TAlertsForm::LineChosen, this, &TAlerts::LineChosen);
    }
    form_->Open();
}

void TAlerts::RefreshForm()
{
    if (form_ && form_->isVisible())
        form_->Refresh();
}

bool TAlerts::SetRules(std::vector<TagRuleEntry> rules)
{
    // Read back as a restart would read them: a valid rule by its keys, an invalid one as stored.
    std::vector<AlertRuleKeys> elements;
    elements.reserve(rules.size());
    for (TagRuleEntry& entry : rules)
        elements.push_back(entry.Rule ? WriteAlertRule(*entry.Rule) : std::move(entry.Keys));
    rules_ = ParseAlertRules(std::move(elements));
    ApplyRules();

    bool written = false;
    if (std::unique_ptr<QSettings> store = OpenPlacementStore()) {
        WriteAlertRules(*store, rules_);
        store->sync();
        written = store->status() == QSettings::NoError;
    }
    storeProblem_ = written ? QString()
                            : QStringLiteral("The per-user store cannot be written: the rules hold until the program "
                                             "ends.");
    RefreshForm();
    return written;
}

void TAlerts::ApplyRules()
{
    std::vector<TagAlertRule> valid;
    entryOfRule_.clear();
    for (size_t i = 0; i < rules_.size(); ++i) {
        if (rules_[i].Rule) {
            valid.push_back(*rules_[i].Rule);
            entryOfRule_.push_back(int(i));
        }
    }
    center_.SetRules(std::move(valid));
}

int TAlerts::RuleOfEntry(int entry) const
{
    const auto it = std::find(entryOfRule_.begin(), entryOfRule_.end(), entry);
    return it == entryOfRule_.end() ? -1 : int(it - entryOfRule_.begin());
}

int TAlerts::EntryOfRule(int rule) const
{
    return rule >= 0 && size_t(rule) < entryOfRule_.size() ? entryOfRule_[size_t(rule)] : -1;
}

void TAlerts::SetReminderMinutes(int minutes)
{
    reminderMinutes_ = std::clamp(minutes, 0, kMaxReminderMinutes);
    TagNoticeTiming timing = center_.Plan().Timing();
    timing.Reminder = std::chrono::minutes(reminderMinutes_);
    center_.SetTiming(timing);
    optionsProblem_.clear();
    if (std::unique_ptr<QSettings> store = OpenPlacementStore())
        WriteReminderMinutes(*store, reminderMinutes_);
}

void TAlerts::SetSounds(TagSoundChoice sounds)
{
    sound_.SetChoice(sounds);
    if (std::unique_ptr<QSettings> store = OpenPlacementStore())
        WriteAlertSounds(*store, sounds);
}

void TAlerts::Acknowledge(int rule)
{
    center_.Acknowledge(rule);
    RefreshForm();
}

void TAlerts::Snooze(int rule, std::chrono::minutes minutes)
{
    center_.Snooze(rule, minutes, Now());
    RefreshForm();
}

void TAlerts::ChooseNotifierOnce()
{
    if (notifierChosen_)
        return;
    const std::vector<TagAlertRule>& rules = center_.Book().Rules();
    // The bus may have to start its notification server, which the choice waits for: only once a
    // rule can fire.
    if (std::none_of(rules.begin(), rules.end(), [](const TagAlertRule& r) { return r.Enabled; }))
        return;
    notifierChosen_ = true;
    TagNotifierChoice choice = ChooseNotifier ? ChooseNotifier() : DesktopNotifier();
    notifier_ = std::move(choice.Notifier);
    notifierName_ = choice.Name;
    notifierWhy_ = choice.Why;
    center_.SetNotifier(notifier_.get());
    if (!notifier_)
        WriteLog("alert notifications: none (" + ToGbk(notifierWhy_) + ")");
}

TagNotifierChoice TAlerts::DesktopNotifier()
{
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        QIcon icon = QApplication::windowIcon();
        if (icon.isNull())
            icon = window_->style()->standardIcon(QStyle::SP_MessageBoxWarning);
        tray_ = new QSystemTrayIcon(icon, this);
        tray_->setObjectName(QStringLiteral("AlertsTray"));
        tray_->setToolTip(QStringLiteral("Quorvane alerts"));
    }
    TagNotifierChoice choice = ChooseAlertNotifier(tray_);
    // The icon stays only where its balloons carry the notifications (Windows).
    if (tray_ && dynamic_cast<TTrayNotifier*>(choice.Notifier.get())) {
        connect(tray_, &QSystemTrayIcon::messageClicked, this, &TAlerts::Open);
        connect(tray_, &QSystemTrayIcon::activated, this, [this] { Open(); });
        tray_->show();
    } else {
        delete tray_;
        tray_ = nullptr;
    }
    return choice;
}

QString TAlerts::NotifierText() const
{
    if (!notifierChosen_)
        return QStringLiteral("Notifications: chosen when a rule is enabled.");
    if (notifier_)
        return QStringLiteral("Notifications: %1.").arg(notifierName_);
    return QStringLiteral("Notifications: none (%1). Active alerts show in this window's title and in Monitor.log.")
        .arg(notifierWhy_);
}

QString TAlerts::StoreProblem() const
{
    if (storeProblem_.isEmpty() || optionsProblem_.isEmpty())
        return storeProblem_ + optionsProblem_;
    return storeProblem_ + QLatin1Char('\n') + optionsProblem_;
}
