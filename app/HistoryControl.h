#pragma once
// Turning the line history on and off: the operator's choice in the per-user store (group History),
// the one journal of the process while it is on, and what the windows are told of it.

#include "history/HistoryJournal.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QAction;
class QWidget;
class TOverviewForm;

// Where the history is kept: History/Path, or history.sqlite3 in the per-user data folder.
QString HistoryFilePath();
// Whether the operator keeps line history: History/Enabled, off unless turned on.
bool HistoryEnabled();

class THistoryControl : public QObject {
    Q_OBJECT
public:
    explicit THistoryControl(QObject* parent = nullptr);
    // At start-up: starts the journal when the store says history is on.
    void StartIfEnabled();
    ~THistoryControl() override;

    // "Keep line history", checked while history is on; toggling it turns history on or off.
    QAction* KeepAction = nullptr;
    // "Line history...": the window of one line.
    QAction* LineHistoryAction = nullptr;
    // The options the journal is started with; tests shorten its timing.
    std::function<void(HistoryOptions&)> AdjustOptions;

    bool Enabled() const { return journal_ != nullptr; }
    HistoryJournal* Journal() const { return journal_.get(); }
    // Remembers the choice and starts or ends the journal (which commits what it holds and closes
    // the file). The folder is made only now.
    void SetEnabled(bool on);
    // At the refresh tick: when the journal has stopped, its reason, once.
    void Watch();
    // Why the journal stopped, or empty.
    QString StoppedText() const { return stoppedText_; }

    // Gives the overview the keep item and "Line history..." on its tiles (the context menu and a
    // double-click), the file to replay and the journal's stop.
    void AttachOverview(TOverviewForm* overview);

signals:
    // A line's history was asked for from the overview's tiles.
    void LineHistoryAsked(int line);
    // History was turned on (the file) or off (empty).
    void FileChanged(const QString& path);

private:
    void Start();
    void Stop();
    void TellOverview();
    bool eventFilter(QObject* watched, QEvent* event) override;

    std::unique_ptr<HistoryJournal> journal_;
    QString path_;
    QString stoppedText_;
    TOverviewForm* overview_ = nullptr;
};
