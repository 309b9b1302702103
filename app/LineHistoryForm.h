#pragma once
// The line history window: one line's changes over the last hour, 8 hours, day or week as a strip in
// the status cell's colours with time marks, and below it a table, newest first. Stretches the
// history cannot vouch for (the link down, changes not recorded, the monitor not running) are drawn
// hatched grey with what they were, never as a state. Read from the history file at each refresh.

#include "app/ToolWindow.h"
#include "history/HistoryView.h"

#include <QColor>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableView;
class QTimer;
class THistoryRowModel;

// A state as the window shows it: the status cell's colours and its text, decoded.
struct THistoryLook {
    QColor fore;
    QColor back;
    QString text;
};
using THistoryLooks = std::map<int64_t, THistoryLook>;

// The colour strip and its time marks.
class THistoryStrip : public QWidget {
    Q_OBJECT
public:
    static constexpr int kBarHeight = 32;
    explicit THistoryStrip(QWidget* parent = nullptr);

    void Show(std::vector<HistorySpan> spans, int64_t from, int64_t until, const THistoryLooks* looks);
    // What gaps are painted with: a light grey, hatched darker.
    static QColor GapColor() { return {224, 224, 224}; }
    static QColor HatchColor() { return {168, 168, 168}; }
    // The x of moment t on the bar, as it is painted.
    int XOf(int64_t t) const;
    QSize sizeHint() const override;
    // The local time of the marks and the hover texts.
    LocalOffsetFn Offset = LocalOffsetMs;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<HistorySpan> spans_;
    int64_t from_ = 0;
    int64_t until_ = 0;
    const THistoryLooks* looks_ = nullptr;
};

class TLineHistoryForm : public TToolWindow {
    Q_OBJECT
public:
    explicit TLineHistoryForm(QWidget* parent = nullptr);
    ~TLineHistoryForm() override;

    // Shows line's history where the window was last (the first time over its parent).
    void Open(int line);
    // The file to read; empty while history is off.
    void SetFile(const QString& path);
    // Reads the file again and shows what it holds over the range up to now.
    void Refresh();
    int Line() const;
    int64_t RangeMs() const;
    // Writes the line's history over the window's range as CSV to the file chosen; a failure leaves
    // no partial file and a box names the file and the reason.
    bool ExportClick();

    QSpinBox* LineBox = nullptr;
    QComboBox* RangeBox = nullptr;
    QPushButton* ExportButt = nullptr;
    QLabel* NoticeLab = nullptr; // history off, no file yet, a file that cannot be read
    THistoryStrip* Strip = nullptr;
    QTableView* Table = nullptr;

    // The UTC time in ms now; tests set a fake one.
    std::function<int64_t()> NowMs;
    // Asks where the CSV goes (the name offered); an empty answer exports nothing. Tests answer it.
    std::function<QString(const QString&)> ChooseExportPath;
    // The time shown; tests set a fixed offset.
    LocalOffsetFn Offset = LocalOffsetMs;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ShowNotice(const QString& text);

    QString file_;
    THistoryLooks looks_;
    THistoryRowModel* model_ = nullptr;
    QTimer* refreshTimer_ = nullptr;
    int64_t shownUntil_ = 0;
};

// The history of line (all lines: -1) over [from, until) from the file history into target as CSV,
// with a byte order mark as the board's export, through QSaveFile: whole or not at all. False with
// error naming the file and the reason.
bool ExportHistoryCsv(const QString& history, int line, int64_t from, int64_t until, const QString& target,
                      QString& error);

// Asks for the range (from the last day to now at first) and then the file of an export of every
// line's history. False when the operator cancels either.
bool AskHistoryExport(QWidget* parent, int64_t& from, int64_t& until, QString& path);
