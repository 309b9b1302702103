#pragma once
// The main window: menu, the two status panels, the line grid and its refresh timer, and the
// monitoring session (StartMonitor, StopMonitor, Reconnect).

#include "common/MonitorView.h"
#include "link/Link.h"

#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <atomic>
#include <mutex>
#include <string>

class QAction;
class QMenu;
class TAlerts;
class TFindBar;
class TGuiCalls;
class THistoryControl;
class TLineGrid;
class TLineHistoryForm;
class TOverviewForm;

class TForm1 : public QMainWindow, public MonitorView {
    Q_OBJECT
public:
    // The timing is the link's; tests shorten it. Creating the window runs FormCreate.
    explicit TForm1(const LinkTiming& timing = LinkTiming(), QWidget* parent = nullptr);
    ~TForm1() override;

    int StartMonitor();
    void StopMonitor();

    // MonitorView, see there: callable from the receive worker.
    void ShowLinkState(bool connected) override;
    void SetSummaryText(const std::string& gbk) override;
    bool LayoutGrid(TagMonitor& board, WakeFlag& stop) override;

    // Components, named as in the window's design.
    QLabel* TotalInfoPan = nullptr;
    TLineGrid* LineGrid = nullptr;
    QLabel* SysStatPan = nullptr;
    QTimer* Timer1 = nullptr;
    QMenu* System1 = nullptr;
    QAction* Config1 = nullptr;
    QAction* Reconnect1 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* About1 = nullptr;

    // The operator's tools, reached through the grid's context menu and their shortcuts.
    TFindBar* FindBar = nullptr;
    QAction* Find1 = nullptr;     // Ctrl+F
    QAction* FindNext1 = nullptr; // F3
    QAction* FindPrev1 = nullptr; // Shift+F3
    QAction* Copy1 = nullptr;     // Ctrl+C
    QAction* Export1 = nullptr;   // the whole board as CSV
    // Asks where the CSV goes; an empty answer exports nothing. Tests answer it themselves.
    std::function<QString()> ChooseExportPath;
    // Called between two slices of a find, with no board lock held. Tests watch the slices with it.
    std::function<void()> BetweenFindSlices;

    // The line overview, F2; its window is made when first asked for.
    QAction* Overview1 = nullptr;
    TOverviewForm* OverviewForm = nullptr;

    // The alerts: judged at every tick; their window, F4, is made when first asked for.
    QAction* Alerts1 = nullptr;
    TAlerts* Alerts = nullptr;

    // The line history: kept while the operator says so ("Keep line history"); one line's window,
    // Ctrl+H, made when first asked for; the export of every line over a range.
    THistoryControl* History = nullptr;
    QAction* KeepHistory1 = nullptr;
    QAction* LineHistory1 = nullptr;   // Ctrl+H
    QAction* ExportHistory1 = nullptr; // every line over a range as CSV
    TLineHistoryForm* LineHistoryForm = nullptr;
    // Asks for the range and the file of the history export; false exports nothing. Tests answer it.
    std::function<bool(int64_t& from, int64_t& until, QString& path)> ChooseHistoryExport;

    // The pause StopMonitor makes after raising BoardBusy; tests shorten it.
    std::chrono::milliseconds stopSettle = std::chrono::milliseconds(100);
    // How long a summary from the worker may wait for the next refresh tick: one tick. Tests that
    // drive the ticks themselves lengthen it.
    std::atomic<int> summaryHoldMs{800};
    // Raised while Timer1Timer refreshes the grid, so a tick that comes inside one does nothing.
    bool RefreshBusy = false;

public slots:
    void Timer1Timer();
    void Config1Click();
    void Reconnect1Click();
    void Exit1Click();
    void About1Click();
    void Find1Click();
    // Writes every line of the board as CSV to the file chosen; a failure leaves no partial file
    // and a box names the file and the reason. Returns whether the file was written.
    bool Export1Click();
    void Overview1Click();
    // The history window of the grid's current line (line 0 without one).
    void LineHistory1Click();
    void OpenLineHistory(int line);
    // Writes every line's history over the range chosen as CSV; as Export1Click otherwise.
    bool ExportHistory1Click();
    // Goes to the next (or previous) line that matches the find bar's text.
    void FindLine(bool backwards);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    void ApplyLinkState(bool connected);
    // At every tick: an answer awaited for too long is shown, and the end of the wait too.
    void WatchAnswers();
    QString LastAnswerText() const;
    void ForgetQueuedSummary();
    // Shows the summary waiting, if any (GUI thread).
    void ShowPendingSummary();
    // Runs fn on the GUI thread: at once when called there, otherwise queued and dropped if the
    // session of the call has ended by the time it runs.
    void RunForSession(std::function<void()> fn);

    LinkTiming timing_;
    // Where the worker's calls wait for the GUI thread.
    TGuiCalls* guiCalls_ = nullptr;
    // Changes at every start and stop of a session; calls queued by a worker carry the value of
    // their time, so a call from an ended session never reaches the screen of the next one.
    std::atomic<uint64_t> session_{0};
    bool closed_ = false;
    std::mutex summaryMutex_;
    std::string pendingSummary_;
    bool summaryPending_ = false; // pendingSummary_ waits to be shown
    bool summaryQueued_ = false;  // a call to show it is queued
    // When the top panel last changed, in steady-clock milliseconds; 0 when it has not in this session.
    std::atomic<int64_t> summaryShownAt_{0};
    // The link state text as last set (GBK), its language, and whether an overdue answer is shown.
    std::string linkStateText_;
    bool linkEnglish_ = false;
    bool overdueShown_ = false;
};

extern TForm1* Form1;
