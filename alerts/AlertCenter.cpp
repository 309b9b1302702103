#include "alerts/AlertCenter.h"

#include "settings/EventLog.h"

TAlertCenter::TAlertCenter(AlertNotifier* notifier, TextDecoder decode, TagNoticeTiming timing)
    : decode_(std::move(decode)), plan_(timing)
{
    SetNotifier(notifier);
}

TAlertCenter::~TAlertCenter()
{
    SetNotifier(nullptr);
}

void TAlertCenter::SetNotifier(AlertNotifier* notifier)
{
    if (notifier_) {
        notifier_->Acknowledged = nullptr;
        notifier_->Closed = nullptr;
    }
    notifier_ = notifier;
    if (notifier_) {
        notifier_->Acknowledged = [this](int key) { NoticeAcknowledged(key); };
        notifier_->Closed = [this](int key) { NoticeClosed(key); };
    }
}

void TAlertCenter::Log(const std::string& line)
{
    WriteLog(line);
    if (Journal)
        Journal(line);
}

void TAlertCenter::SetRules(std::vector<TagAlertRule> rules)
{
    std::vector<std::pair<TagAlertRule, int>> ending;
    const std::vector<TagAlertRule> old = book_.Rules();
    std::vector<int> lines(old.size(), -1);
    for (const TagActiveAlert* alert : book_.ActiveAlerts())
        lines[size_t(alert->Rule)] = int(alert->Lines.size());
    const std::vector<int> oldToNew = book_.SetRules(std::move(rules));
    for (size_t i = 0; i < old.size(); ++i)
        if (oldToNew[i] < 0 && lines[i] >= 0)
            Log(AlertEndLog(old[i], lines[i]));
    plan_.Remap(oldToNew);
}

void TAlertCenter::Tick(bool boardSampled, const TagLinkSample& link, BoardTime now)
{
    book_.Evaluate(boardSampled ? &sample_ : nullptr, link, now);
    for (const TagAlertChange& change : book_.Changes()) {
        const TagAlertRule& rule = book_.Rules()[size_t(change.Rule)];
        if (change.Event == AlertEvent::Start)
            Log(AlertStartLog(rule, change.Lines));
        else if (change.Event == AlertEvent::End)
            Log(AlertEndLog(rule, change.Lines));
    }
    for (const TagNoticeCall& call : plan_.Plan(book_, now)) {
        if (notifier_ && call.Op == NoticeOp::Close)
            notifier_->Close(call.Key);
        else if (notifier_)
            notifier_->Show(call.Key, NoticeText(call, book_, decode_));
        if (Planned)
            Planned(call, now);
    }
}

bool TAlertCenter::Acknowledge(int rule)
{
    const TagActiveAlert* alert = book_.Active(rule);
    if (!alert || alert->Acknowledged)
        return false;
    book_.Acknowledge(rule);
    Log(AlertAcknowledgeLog(book_.Rules()[size_t(rule)]));
    return true;
}

void TAlertCenter::Snooze(int rule, std::chrono::minutes minutes, BoardTime now)
{
    if (rule < 0 || size_t(rule) >= book_.Rules().size())
        return;
    book_.Snooze(rule, now + minutes);
    Log(AlertSnoozeLog(book_.Rules()[size_t(rule)], int(minutes.count())));
}

void TAlertCenter::NoticeAcknowledged(int key)
{
    for (const int rule : plan_.Members(key))
        Acknowledge(rule);
    plan_.Closed(key);
    if (notifier_)
        notifier_->Close(key);
}

void TAlertCenter::NoticeClosed(int key)
{
    plan_.Closed(key);
}
