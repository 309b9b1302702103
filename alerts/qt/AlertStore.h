#pragma once
// The alerts' group of the per-user store, as a site deploys it: `Alerts` with the array `rules` (one
// element per rule, its keys as the rule reads them), `reminderMinutes`, and the operator's sounds
// `beepWarning` and `beepCritical`. Texts go to the core as GBK.

#include "alerts/AlertRule.h"
#include "alerts/NoticeSound.h"

#include <vector>

class QSettings;

struct TagAlertStore {
    std::vector<TagRuleEntry> Rules; // in store order, the invalid ones with their reason
    TagOptionsEntry Options;
    TagSoundChoice Sounds;
};

TagAlertStore ReadAlertStore(QSettings& store);

// Replaces the array: a valid rule as WriteAlertRule has it, an invalid one with the keys it was
// stored with, untouched.
void WriteAlertRules(QSettings& store, const std::vector<TagRuleEntry>& rules);
void WriteReminderMinutes(QSettings& store, int minutes);
void WriteAlertSounds(QSettings& store, TagSoundChoice sounds);
