#include "app/AlertsForm.h"

#include "alerts/AlertText.h"
#include "app/Alerts.h"
#include "app/Design.h"
#include "board/BoardCsv.h"
#include "board/BoardRead.h"
#include "board/StatusCounts.h"
#include "common/Ascii.h"
#include "common/SpanText.h"
#include "platform/qt/Gbk.h"
#include "platform/qt/PlainText.h"
#include "settings/qt/Placement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const char kGeometryKey[] = "Alerts/Geometry";
constexpr int kDefaultWidth = 760;
constexpr int kDefaultHeight = 600;
// Lines named in the table's cell; the list below it has them all.
constexpr size_t kLinesInCell = 4;
// A board may show a text per line: the dialog offers the most frequent ones.
constexpr size_t kOfferedStatuses = 40;

enum ActiveColumn { kRuleCol, kSeverityCol, kLinesCol, kSinceCol, kStateCol, kActiveCols };
enum RuleColumn { kNameCol, kWatchCol, kRuleSeverityCol, kEnabledCol, kRuleCols };

const QColor kProblemColor(176, 0, 0);

std::string DecodeGbk(std::string_view gbk)
{
    return FromGbk(gbk).toUtf8().toStdString();
}

const std::string* Find(const AlertRuleKeys& keys, std::string_view key)
{
    for (const auto& [k, v] : keys)
        if (k == key)
            return &v;
    return nullptr;
}

QString KeyText(const AlertRuleKeys& keys, std::string_view key)
{
    const std::string* value = Find(keys, key);
    return value ? FromGbk(*value) : QString();
}

QString SeverityText(AlertSeverity severity)
{
    return severity == AlertSeverity::Critical ? QStringLiteral("Critical") : QStringLiteral("Warning");
}

QTableWidget* MakeTable(const char* name, const QStringList& headers, QWidget* parent)
{
    auto* table = new QTableWidget(0, int(headers.size()), parent);
    table->setObjectName(QLatin1String(name));
    table->setHorizontalHeaderLabels(headers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setWordWrap(false);
    return table;
}

// Changes a cell only when its text does, so a refresh repaints what changed.
QTableWidgetItem* SetCell(QTableWidget* table, int row, int column, const QString& text)
{
    QTableWidgetItem* item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem(text);
        table->setItem(row, column, item);
    } else if (item->text() != text) {
        item->setText(text);
    }
    return item;
}

void SetProblem(QTableWidgetItem* item, bool problem)
{
    if (problem)
        item->setForeground(kProblemColor);
    else
        item->setData(Qt::ForegroundRole, QVariant());
}

QPushButton* MakeButton(const char* name, const char* text, QWidget* parent)
{
    auto* button = new QPushButton(QLatin1String(text), parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

TAlertRuleDialog::TAlertRuleDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AlertRuleDialog"));
    NameEdit = new QLineEdit(this);
    NameEdit->setObjectName(QStringLiteral("NameEdit"));
    KindBox = new QComboBox(this);
    KindBox->setObjectName(QStringLiteral("KindBox"));
    KindBox->addItem(QStringLiteral("A line shows the status too long (stuck)"), QStringLiteral("stuck"));
    KindBox->addItem(QStringLiteral("More than N lines show the status (above)"), QStringLiteral("above"));
    KindBox->addItem(QStringLiteral("Fewer than N lines show the status (below)"), QStringLiteral("below"));
    KindBox->addItem(QStringLiteral("The link is down (link)"), QStringLiteral("link"));
    KindBox->addItem(QStringLiteral("The answer is overdue (overdue)"), QStringLiteral("overdue"));
    StatusBox = new QComboBox(this);
    StatusBox->setObjectName(QStringLiteral("StatusBox"));
    StatusBox->setEditable(true);
    StatusBox->setInsertPolicy(QComboBox::NoInsert);
    // The status is compared byte for byte: the completion must not change its case.
    StatusBox->completer()->setCaseSensitivity(Qt::CaseSensitive);
    StatusBox->setToolTip(QStringLiteral("The status column's text exactly as the server sends it; the statuses "
                                         "on the board now are offered."));
    SecondsEdit = new QLineEdit(this);
    SecondsEdit->setObjectName(QStringLiteral("SecondsEdit"));
    CountEdit = new QLineEdit(this);
    CountEdit->setObjectName(QStringLiteral("CountEdit"));
    SeverityBox = new QComboBox(this);
    SeverityBox->setObjectName(QStringLiteral("SeverityBox"));
    SeverityBox->addItem(QStringLiteral("Warning"), QStringLiteral("warning"));
    SeverityBox->addItem(QStringLiteral("Critical"), QStringLiteral("critical"));
    EnabledCheck = new QCheckBox(QStringLiteral("&Enabled"), this);
    EnabledCheck->setObjectName(QStringLiteral("EnabledCheck"));
    RuleErrorLab = new QLabel(this);
    RuleErrorLab->setObjectName(QStringLiteral("RuleErrorLab"));
    RuleErrorLab->setTextFormat(Qt::PlainText);
    RuleErrorLab->setWordWrap(true);
    QPalette pal = RuleErrorLab->palette();
    pal.setColor(QPalette::WindowText, kProblemColor);
    RuleErrorLab->setPalette(pal);
    RuleErrorLab->hide();
    RuleButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    RuleButtons->setObjectName(QStringLiteral("RuleButtons"));

    auto* form = new QFormLayout();
    form->addRow(QStringLiteral("&Name:"), NameEdit);
    form->addRow(QStringLiteral("&Kind:"), KindBox);
    form->addRow(QStringLiteral("&Status:"), StatusBox);
    form->addRow(QStringLiteral("For more than (s&econds):"), SecondsEdit);
    form->addRow(QStringLiteral("&Count (N lines):"), CountEdit);
    form->addRow(QStringLiteral("Se&verity:"), SeverityBox);
    form->addRow(QString(), EnabledCheck);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(RuleErrorLab);
    layout->addWidget(RuleButtons);
    setMinimumWidth(420);

    connect(KindBox, &QComboBox::currentIndexChanged, this, &TAlertRuleDialog::KindChanged);
    connect(RuleButtons, &QDialogButtonBox::accepted, this, &TAlertRuleDialog::accept);
    connect(RuleButtons, &QDialogButtonBox::rejected, this, &TAlertRuleDialog::reject);
}

void TAlertRuleDialog::Load(const AlertRuleKeys& keys, const std::vector<std::string>& statuses)
{
    NameEdit->setText(KeyText(keys, "name"));
    const int kind = KindBox->findData(KeyText(keys, "kind").trimmed().toLower());
    KindBox->setCurrentIndex(std::max(kind, 0));
    StatusBox->clear();
    for (const std::string& status : statuses)
        StatusBox->addItem(FromGbk(status));
    StatusBox->setEditText(KeyText(keys, "status"));
    SecondsEdit->setText(KeyText(keys, "seconds"));
    CountEdit->setText(KeyText(keys, "count"));
    const int severity = SeverityBox->findData(KeyText(keys, "severity").trimmed().toLower());
    SeverityBox->setCurrentIndex(std::max(severity, 0));
    EnabledCheck->setChecked(KeyText(keys, "enabled").trimmed().toLower() != QStringLiteral("false"));
    RuleErrorLab->clear();
    RuleErrorLab->hide();
    KindChanged();
    NameEdit->setFocus(Qt::OtherFocusReason);
}

AlertRuleKeys TAlertRuleDialog::Keys() const
{
    const QString kind = KindBox->currentData().toString();
    AlertRuleKeys keys;
    keys.emplace_back("name", ToGbk(NameEdit->text()));
    keys.emplace_back("kind", kind.toStdString());
    if (StatusBox->isEnabled())
        keys.emplace_back("status", ToGbk(StatusBox->currentText()));
    keys.emplace_back("seconds", ToGbk(SecondsEdit->text()));
    if (CountEdit->isEnabled())
        keys.emplace_back("count", ToGbk(CountEdit->text()));
    keys.emplace_back("severity", SeverityBox->currentData().toString().toStdString());
    keys.emplace_back("enabled", EnabledCheck->isChecked() ? "true" : "false");
    return keys;
}

void TAlertRuleDialog::KindChanged()
{
    const QString kind = KindBox->currentData().toString();
    StatusBox->setEnabled(kind == QStringLiteral("stuck") || kind == QStringLiteral("above") ||
                          kind == QStringLiteral("below"));
    CountEdit->setEnabled(kind == QStringLiteral("above") || kind == QStringLiteral("below"));
}

void TAlertRuleDialog::accept()
{
    const std::string error = Check ? Check(Keys()) : std::string();
    if (!error.empty()) {
        RuleErrorLab->setText(FromGbk(error));
        RuleErrorLab->show();
        return;
    }
    QDialog::accept();
}

TAlertsForm::TAlertsForm(TAlerts& alerts, QWidget* parent)
    : TToolWindow(kGeometryKey, QSize(kDefaultWidth, kDefaultHeight), parent), alerts_(alerts)
{
    setObjectName(QStringLiteral("AlertsForm"));
    setWindowTitle(QStringLiteral("Alerts"));

    auto* activeBox = new QGroupBox(QStringLiteral("Active alerts"), this);
    ActiveTable = MakeTable("ActiveTable",
                            {QStringLiteral("Rule"), QStringLiteral("Severity"), QStringLiteral("Lines"),
                             QStringLiteral("Since"), QStringLiteral("State")},
                            activeBox);
    ActiveTable->setColumnWidth(kRuleCol, 150);
    ActiveTable->setColumnWidth(kSeverityCol, 70);
    ActiveTable->setColumnWidth(kLinesCol, 210);
    ActiveTable->setColumnWidth(kSinceCol, 120);
    auto* linesCaption =
        new QLabel(QStringLiteral("&Lines of the chosen alert (click one to show it in the grid):"), activeBox);
    LinesList = new QListWidget(activeBox);
    LinesList->setObjectName(QStringLiteral("LinesList"));
    LinesList->setFlow(QListView::LeftToRight);
    LinesList->setWrapping(true);
    LinesList->setResizeMode(QListView::Adjust);
    LinesList->setUniformItemSizes(true);
    LinesList->setSpacing(2);
    LinesList->setFixedHeight(64);
    linesCaption->setBuddy(LinesList);
    AckButton = MakeButton("AckButton", "&Acknowledge", activeBox);
    AckButton->setToolTip(QStringLiteral("Silences the alert until it clears"));
    Snooze15Button = MakeButton("Snooze15Button", "Snooze &15 min", activeBox);
    Snooze60Button = MakeButton("Snooze60Button", "Snooze &60 min", activeBox);
    Snooze15Button->setToolTip(QStringLiteral("Silences the rule for 15 minutes, alerts that start meanwhile too"));
    Snooze60Button->setToolTip(QStringLiteral("Silences the rule for 60 minutes, alerts that start meanwhile too"));
    auto* actRow = new QHBoxLayout();
    actRow->addWidget(AckButton);
    actRow->addWidget(Snooze15Button);
    actRow->addWidget(Snooze60Button);
    actRow->addStretch(1);
    auto* activeLayout = new QVBoxLayout(activeBox);
    activeLayout->addWidget(ActiveTable, 1);
    activeLayout->addWidget(linesCaption);
    activeLayout->addWidget(LinesList);
    activeLayout->addLayout(actRow);

    auto* rulesBox = new QGroupBox(QStringLiteral("Rules"), this);
    RuleTable = MakeTable(
        "RuleTable",
        {QStringLiteral("Name"), QStringLiteral("Rule"), QStringLiteral("Severity"), QStringLiteral("Enabled")},
        rulesBox);
    RuleTable->setColumnWidth(kNameCol, 150);
    RuleTable->setColumnWidth(kWatchCol, 330);
    RuleTable->setColumnWidth(kRuleSeverityCol, 70);
    AddButton = MakeButton("AddButton", "A&dd...", rulesBox);
    EditButton = MakeButton("EditButton", "&Edit...", rulesBox);
    RemoveButton = MakeButton("RemoveButton", "&Remove", rulesBox);
    auto* ruleRow = new QHBoxLayout();
    ruleRow->addWidget(AddButton);
    ruleRow->addWidget(EditButton);
    ruleRow->addWidget(RemoveButton);
    ruleRow->addStretch(1);
    ReminderBox = new QSpinBox(rulesBox);
    ReminderBox->setObjectName(QStringLiteral("ReminderBox"));
    ReminderBox->setRange(0, kMaxReminderMinutes);
    ReminderBox->setSuffix(QStringLiteral(" min"));
    ReminderBox->setSpecialValueText(QStringLiteral("never"));
    ReminderBox->setValue(alerts_.ReminderMinutes());
    auto* reminderCaption = new QLabel(QStringLiteral("Remind e&very:"), rulesBox);
    reminderCaption->setBuddy(ReminderBox);
    BeepWarningCheck = new QCheckBox(QStringLiteral("Beep for &warnings"), rulesBox);
    BeepWarningCheck->setObjectName(QStringLiteral("BeepWarningCheck"));
    BeepCriticalCheck = new QCheckBox(QStringLiteral("Beep for &critical alerts"), rulesBox);
    BeepCriticalCheck->setObjectName(QStringLiteral("BeepCriticalCheck"));
    BeepWarningCheck->setChecked(alerts_.Sounds().Warning);
    BeepCriticalCheck->setChecked(alerts_.Sounds().Critical);
    auto* optionRow = new QHBoxLayout();
    optionRow->addWidget(reminderCaption);
    optionRow->addWidget(ReminderBox);
    optionRow->addSpacing(12);
    optionRow->addWidget(BeepWarningCheck);
    optionRow->addWidget(BeepCriticalCheck);
    optionRow->addStretch(1);
    auto* rulesLayout = new QVBoxLayout(rulesBox);
    rulesLayout->addWidget(RuleTable, 1);
    rulesLayout->addLayout(ruleRow);
    rulesLayout->addLayout(optionRow);

    NotifierLab = new QLabel(this);
    NotifierLab->setObjectName(QStringLiteral("NotifierLab"));
    NotifierLab->setWordWrap(true);
    NotifierLab->setTextFormat(Qt::PlainText);
    ProblemLab = new QLabel(this);
    ProblemLab->setObjectName(QStringLiteral("ProblemLab"));
    ProblemLab->setWordWrap(true);
    ProblemLab->setTextFormat(Qt::PlainText);
    QPalette pal = ProblemLab->palette();
    pal.setColor(QPalette::WindowText, kProblemColor);
    ProblemLab->setPalette(pal);
    ProblemLab->hide();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(activeBox, 1);
    layout->addWidget(rulesBox, 1);
    layout->addWidget(NotifierLab);
    layout->addWidget(ProblemLab);

    connect(ActiveTable, &QTableWidget::itemSelectionChanged, this, [this] {
        RefreshLines();
        RefreshButtons();
    });
    connect(ActiveTable, &QTableWidget::cellDoubleClicked, this, [this] {
        if (!shownLines_.empty())
            emit LineChosen(shownLines_.front());
    });
    connect(LinesList, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { emit LineChosen(item->data(Qt::UserRole).toInt()); });
    connect(LinesList, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { emit LineChosen(item->data(Qt::UserRole).toInt()); });
    connect(AckButton, &QPushButton::clicked, this, [this] { alerts_.Acknowledge(ChosenAlert()); });
    connect(Snooze15Button, &QPushButton::clicked, this,
            [this] { alerts_.Snooze(ChosenAlert(), std::chrono::minutes(15)); });
    connect(Snooze60Button, &QPushButton::clicked, this,
            [this] { alerts_.Snooze(ChosenAlert(), std::chrono::minutes(60)); });
    connect(RuleTable, &QTableWidget::itemSelectionChanged, this, &TAlertsForm::RefreshButtons);
    connect(RuleTable, &QTableWidget::cellDoubleClicked, this, [this](int row) { EditRule(row); });
    connect(AddButton, &QPushButton::clicked, this, [this] { EditRule(-1); });
    connect(EditButton, &QPushButton::clicked, this, [this] {
        if (RuleTable->currentRow() >= 0)
            EditRule(RuleTable->currentRow());
    });
    connect(RemoveButton, &QPushButton::clicked, this, &TAlertsForm::RemoveRule);
    connect(ReminderBox, &QSpinBox::valueChanged, this, [this](int minutes) { alerts_.SetReminderMinutes(minutes); });
    const auto sounds = [this] { alerts_.SetSounds({BeepWarningCheck->isChecked(), BeepCriticalCheck->isChecked()}); };
    connect(BeepWarningCheck, &QCheckBox::toggled, this, sounds);
    connect(BeepCriticalCheck, &QCheckBox::toggled, this, sounds);

    RefreshRules();
    Refresh();
}

void TAlertsForm::Open()
{
    PlaceOnce();
    RefreshRules();
    Refresh();
    show();
    raise();
    activateWindow();
}

int TAlertsForm::ChosenAlert() const
{
    const QList<QTableWidgetItem*> chosen = ActiveTable->selectedItems();
    if (chosen.isEmpty())
        return -1;
    const QTableWidgetItem* item = ActiveTable->item(chosen.front()->row(), kRuleCol);
    return item ? item->data(Qt::UserRole).toInt() : -1;
}

void TAlertsForm::Refresh()
{
    RefreshActive();
    const size_t active = shownRules_.size();
    const QString title =
        active == 0 ? QStringLiteral("Alerts") : QStringLiteral("Alerts (%1 active)").arg(qsizetype(active));
    if (windowTitle() != title)
        setWindowTitle(title);
    const QString notifier = alerts_.NotifierText();
    if (NotifierLab->text() != notifier)
        NotifierLab->setText(notifier);
    const QString problem = alerts_.StoreProblem();
    if (ProblemLab->text() != problem)
        ProblemLab->setText(problem);
    ProblemLab->setVisible(!problem.isEmpty());
}

void TAlertsForm::RefreshActive()
{
    const TAlertBook& book = alerts_.Center().Book();
    const std::vector<const TagActiveAlert*> active = book.ActiveAlerts();
    const BoardTime now = TAlerts::Now();
    // The alerts' moments are on the board's monotonic clock: shown as the wall time that long ago.
    const QDateTime wallNow = QDateTime::currentDateTime();
    const auto wall = [&](BoardTime at) {
        return wallNow.addMSecs(-std::chrono::duration_cast<std::chrono::milliseconds>(now - at).count());
    };
    const auto clock = [&](const QDateTime& at) {
        return at.date() == wallNow.date() ? at.toString(QStringLiteral("HH:mm:ss"))
                                           : at.toString(QStringLiteral("d MMM HH:mm:ss"));
    };

    std::vector<int> rules;
    rules.reserve(active.size());
    for (const TagActiveAlert* alert : active)
        rules.push_back(alert->Rule);
    if (rules != shownRules_) {
        const int chosen = ChosenAlert();
        const QSignalBlocker quiet(ActiveTable);
        ActiveTable->clearContents();
        ActiveTable->setRowCount(int(rules.size()));
        shownRules_ = rules;
        for (size_t row = 0; row < rules.size(); ++row)
            if (rules[row] == chosen)
                ActiveTable->selectRow(int(row));
    }
    for (size_t row = 0; row < active.size(); ++row) {
        const TagActiveAlert& alert = *active[row];
        const TagAlertRule& rule = book.Rules()[size_t(alert.Rule)];
        const int r = int(row);
        QTableWidgetItem* name = SetCell(ActiveTable, r, kRuleCol, FromGbk(rule.Name));
        name->setData(Qt::UserRole, alert.Rule);
        name->setToolTip(PlainToolTip(QString::fromStdString(RuleText(rule, &DecodeGbk))));
        QTableWidgetItem* severity = SetCell(ActiveTable, r, kSeverityCol, SeverityText(rule.Severity));
        SetProblem(severity, rule.Severity == AlertSeverity::Critical);
        QString lines;
        if (!JudgesBoard(rule.Kind))
            lines = QStringLiteral("(the link)");
        else if (alert.Lines.empty())
            lines = QStringLiteral("(no line)");
        else
            lines = QString::fromStdString(LinesText(alert.Lines, kLinesInCell));
        SetCell(ActiveTable, r, kLinesCol, lines);
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - alert.Since).count();
        SetCell(ActiveTable, r, kSinceCol,
                QStringLiteral("%1 (%2)").arg(clock(wall(alert.Since)),
                                              QString::fromStdString(SpanText(std::max<int64_t>(0, seconds)))));
        QString state = QStringLiteral("Not acknowledged");
        if (alert.Acknowledged)
            state = QStringLiteral("Acknowledged");
        else if (const std::optional<BoardTime> until = book.SnoozedUntil(alert.Rule, now))
            state = QStringLiteral("Snoozed until %1").arg(clock(wall(*until)).left(5));
        SetCell(ActiveTable, r, kStateCol, state);
    }
    RefreshLines();
    RefreshButtons();
}

void TAlertsForm::RefreshLines()
{
    const int rule = ChosenAlert();
    const TagActiveAlert* alert = rule >= 0 ? alerts_.Center().Book().Active(rule) : nullptr;
    const std::vector<int> lines = alert ? alert->Lines : std::vector<int>();
    if (rule == shownLinesOf_ && lines == shownLines_)
        return;
    shownLinesOf_ = rule;
    shownLines_ = lines;
    LinesList->clear();
    for (const int line : lines) {
        auto* item = new QListWidgetItem(QString::number(line), LinesList);
        item->setData(Qt::UserRole, line);
        item->setToolTip(QStringLiteral("Line %1: show it in the grid").arg(line));
    }
}

void TAlertsForm::RefreshButtons()
{
    const int rule = ChosenAlert();
    const TagActiveAlert* alert = rule >= 0 ? alerts_.Center().Book().Active(rule) : nullptr;
    AckButton->setEnabled(alert && !alert->Acknowledged);
    Snooze15Button->setEnabled(alert != nullptr);
    Snooze60Button->setEnabled(alert != nullptr);
    const bool ruleChosen = RuleTable->currentRow() >= 0 && !RuleTable->selectedItems().isEmpty();
    EditButton->setEnabled(ruleChosen);
    RemoveButton->setEnabled(ruleChosen);
}

void TAlertsForm::RefreshRules()
{
    const std::vector<TagRuleEntry>& rules = alerts_.Rules();
    const int current = RuleTable->currentRow();
    const QSignalBlocker quiet(RuleTable);
    RuleTable->clearContents();
    RuleTable->setRowCount(int(rules.size()));
    for (size_t i = 0; i < rules.size(); ++i) {
        const TagRuleEntry& entry = rules[i];
        const int row = int(i);
        if (entry.Rule) {
            const TagAlertRule& rule = *entry.Rule;
            SetCell(RuleTable, row, kNameCol, FromGbk(rule.Name));
            SetCell(RuleTable, row, kWatchCol, QString::fromStdString(RuleText(rule, &DecodeGbk)));
            SetCell(RuleTable, row, kRuleSeverityCol, SeverityText(rule.Severity));
            SetCell(RuleTable, row, kEnabledCol, rule.Enabled ? QStringLiteral("Yes") : QStringLiteral("No"));
            continue;
        }
        // As stored, with the reason; never judged.
        const QString name = KeyText(entry.Keys, "name");
        SetCell(RuleTable, row, kNameCol, name.trimmed().isEmpty() ? QStringLiteral("(no name)") : name);
        QTableWidgetItem* why = SetCell(RuleTable, row, kWatchCol, QStringLiteral("Invalid: ") + FromGbk(entry.Error));
        SetProblem(why, true);
        why->setToolTip(PlainToolTip(why->text()));
        SetCell(RuleTable, row, kRuleSeverityCol, KeyText(entry.Keys, "severity"));
        SetCell(RuleTable, row, kEnabledCol, KeyText(entry.Keys, "enabled"));
    }
    if (current >= 0 && current < RuleTable->rowCount())
        RuleTable->selectRow(current);
    RefreshButtons();
}

std::string TAlertsForm::CheckRule(const AlertRuleKeys& keys, int entry) const
{
    const TagRuleEntry checked = ParseAlertRule(keys);
    if (!checked.Rule)
        return checked.Error;
    const std::vector<TagRuleEntry>& rules = alerts_.Rules();
    for (size_t i = 0; i < rules.size(); ++i)
        if (int(i) != entry && rules[i].Rule && rules[i].Rule->Name == checked.Rule->Name)
            return "another rule has this name";
    return {};
}

void TAlertsForm::EditRule(int entry)
{
    const std::vector<TagRuleEntry>& rules = alerts_.Rules();
    if (entry >= int(rules.size()))
        return;
    if (!RuleDialog) {
        RuleDialog = new TAlertRuleDialog(this);
        connect(RuleDialog, &QDialog::accepted, this, [this] { RuleEdited(editing_); });
    }
    editing_ = entry;
    RuleDialog->Check = [this, entry](const AlertRuleKeys& keys) { return CheckRule(keys, entry); };

    // The statuses on the board now, most lines first, are offered, as far as a rule can hold them;
    // the board's locks are let go before the dialog opens.
    std::vector<TagStatusCount> counts;
    ReadCurBoard([&](const TagMonitor& board) { counts = CountStatuses(board, kDefaultStatusColumn).Statuses; });
    std::vector<std::string> statuses;
    for (const TagStatusCount& count : counts) {
        if (statuses.size() == kOfferedStatuses)
            break;
        const bool blank = std::all_of(count.Text.begin(), count.Text.end(),
                                       [](char c) { return AsciiIsSpace(static_cast<unsigned char>(c)); });
        if (!blank && count.Text.size() <= kMaxAlertStatusBytes)
            statuses.push_back(count.Text);
    }

    AlertRuleKeys keys{{"kind", "stuck"}, {"seconds", "300"}, {"severity", "warning"}, {"enabled", "true"}};
    if (entry >= 0)
        keys = rules[size_t(entry)].Rule ? WriteAlertRule(*rules[size_t(entry)].Rule) : rules[size_t(entry)].Keys;
    RuleDialog->setWindowTitle(entry < 0 ? QStringLiteral("Add alert rule") : QStringLiteral("Edit alert rule"));
    RuleDialog->Load(keys, statuses);
    if (entry >= 0 && !rules[size_t(entry)].Rule) {
        RuleDialog->RuleErrorLab->setText(QStringLiteral("As stored, this rule is invalid: ") +
                                          FromGbk(rules[size_t(entry)].Error));
        RuleDialog->RuleErrorLab->show();
    }
    RuleDialog->open();
}

void TAlertsForm::RuleEdited(int entry)
{
    std::vector<TagRuleEntry> rules = alerts_.Rules();
    TagRuleEntry edited = ParseAlertRule(RuleDialog->Keys());
    int row = entry;
    if (entry < 0 || entry >= int(rules.size())) {
        rules.push_back(std::move(edited));
        row = int(rules.size()) - 1;
    } else {
        rules[size_t(entry)] = std::move(edited);
    }
    alerts_.SetRules(std::move(rules));
    RefreshRules();
    RuleTable->selectRow(row);
    Refresh();
}

void TAlertsForm::RemoveRule()
{
    const int row = RuleTable->currentRow();
    std::vector<TagRuleEntry> rules = alerts_.Rules();
    if (row < 0 || row >= int(rules.size()) || RuleTable->selectedItems().isEmpty())
        return;
    rules.erase(rules.begin() + row);
    alerts_.SetRules(std::move(rules));
    RefreshRules();
    Refresh();
}
