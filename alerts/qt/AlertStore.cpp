#include "alerts/qt/AlertStore.h"

#include "platform/qt/Gbk.h"

#include <QSettings>
#include <QStringList>

namespace {

const QString kGroup = QStringLiteral("Alerts");
const QString kRules = QStringLiteral("rules");
const QString kReminder = QStringLiteral("reminderMinutes");
const QString kBeepWarning = QStringLiteral("beepWarning");
const QString kBeepCritical = QStringLiteral("beepCritical");

// A value as text. A hand-written file's unquoted value with a comma comes back as a list: it is the
// text the site wrote, so its parts are joined again.
std::string ValueText(const QVariant& value)
{
    if (value.metaType().id() == QMetaType::QStringList)
        return ToGbk(value.toStringList().join(QStringLiteral(", ")));
    return ToGbk(value.toString());
}

} // namespace

TagAlertStore ReadAlertStore(QSettings& store)
{
    TagAlertStore read;
    store.beginGroup(kGroup);
    std::vector<AlertRuleKeys> elements;
    const int size = store.beginReadArray(kRules);
    for (int i = 0; i < size; ++i) {
        store.setArrayIndex(i);
        AlertRuleKeys keys;
        for (const QString& key : store.childKeys())
            keys.emplace_back(ToGbk(key), ValueText(store.value(key)));
        elements.push_back(std::move(keys));
    }
    store.endArray();
    read.Rules = ParseAlertRules(std::move(elements));
    const QVariant reminder = store.value(kReminder);
    read.Options = ParseAlertOptions(reminder.isValid() ? std::optional(ValueText(reminder)) : std::nullopt);
    read.Sounds.Warning = store.value(kBeepWarning).toBool();
    read.Sounds.Critical = store.value(kBeepCritical).toBool();
    store.endGroup();
    return read;
}

void WriteAlertRules(QSettings& store, const std::vector<TagRuleEntry>& rules)
{
    store.beginGroup(kGroup);
    store.remove(kRules);
    store.beginWriteArray(kRules, int(rules.size()));
    for (size_t i = 0; i < rules.size(); ++i) {
        store.setArrayIndex(int(i));
        const TagRuleEntry& entry = rules[i];
        for (const auto& [key, value] : entry.Rule ? WriteAlertRule(*entry.Rule) : entry.Keys)
            store.setValue(FromGbk(key), FromGbk(value));
    }
    store.endArray();
    store.endGroup();
}

void WriteReminderMinutes(QSettings& store, int minutes)
{
    store.setValue(kGroup + QStringLiteral("/") + kReminder, QString::number(minutes));
}

void WriteAlertSounds(QSettings& store, TagSoundChoice sounds)
{
    store.setValue(kGroup + QStringLiteral("/") + kBeepWarning, sounds.Warning);
    store.setValue(kGroup + QStringLiteral("/") + kBeepCritical, sounds.Critical);
}
