#pragma once
// The alerts window: the active alerts (rule, severity, lines, since when, acknowledged or snoozed)
// with Acknowledge and Snooze per rule, the lines of the chosen alert (a click shows the line in the
// grid), and the rules of the per-user store with Add, Edit and Remove. Its own window, reached from
// the grid's context menu; English texts in both languages.

#include "alerts/AlertRule.h"
#include "app/ToolWindow.h"

#include <QDialog>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTableWidget;
class TAlerts;

// Edits one rule. Its OK keeps the dialog open while the rule is invalid and says why.
class TAlertRuleDialog : public QDialog {
    Q_OBJECT
public:
    explicit TAlertRuleDialog(QWidget* parent = nullptr);

    // Fills the fields from a stored rule (valid or not); the statuses offered are the board's.
    void Load(const AlertRuleKeys& keys, const std::vector<std::string>& statuses);
    // The keys the fields make (GBK).
    AlertRuleKeys Keys() const;

    // Judges the keys: the reason they are refused, or nothing. Set by the alerts window.
    std::function<std::string(const AlertRuleKeys& keys)> Check;

    QLineEdit* NameEdit = nullptr;
    QComboBox* KindBox = nullptr;
    QComboBox* StatusBox = nullptr; // editable: the board's statuses offered
    QLineEdit* SecondsEdit = nullptr;
    QLineEdit* CountEdit = nullptr;
    QComboBox* SeverityBox = nullptr;
    QCheckBox* EnabledCheck = nullptr;
    QLabel* RuleErrorLab = nullptr;
    QDialogButtonBox* RuleButtons = nullptr;

public slots:
    void accept() override;

private:
    void KindChanged();
};

class TAlertsForm : public TToolWindow {
    Q_OBJECT
public:
    TAlertsForm(TAlerts& alerts, QWidget* parent = nullptr);

    // Shows the window where it was last (the first time over its parent) and gives it the focus.
    void Open();
    // Shows the alerts and rules as they are now. Never moves, raises or activates the window.
    void Refresh();

    // The book's rule of the chosen active alert, or -1.
    int ChosenAlert() const;

    QTableWidget* ActiveTable = nullptr;
    QListWidget* LinesList = nullptr;
    QPushButton* AckButton = nullptr;
    QPushButton* Snooze15Button = nullptr;
    QPushButton* Snooze60Button = nullptr;
    QTableWidget* RuleTable = nullptr;
    QPushButton* AddButton = nullptr;
    QPushButton* EditButton = nullptr;
    QPushButton* RemoveButton = nullptr;
    QSpinBox* ReminderBox = nullptr;
    QCheckBox* BeepWarningCheck = nullptr;
    QCheckBox* BeepCriticalCheck = nullptr;
    QLabel* NotifierLab = nullptr;
    QLabel* ProblemLab = nullptr;
    TAlertRuleDialog* RuleDialog = nullptr;

signals:
    // The operator clicked a line of an alert.
    void LineChosen(int line);

private:
    void RefreshActive();
    void RefreshLines();
    void RefreshRules();
    void RefreshButtons();
    void EditRule(int entry); // -1: a new one
    std::string CheckRule(const AlertRuleKeys& keys, int entry) const;
    void RuleEdited(int entry);
    void RemoveRule();

    TAlerts& alerts_;
    int editing_ = -1;
    // What the tables show, to change only what changed.
    std::vector<int> shownRules_;
    std::vector<int> shownLines_;
    int shownLinesOf_ = -1;
};
