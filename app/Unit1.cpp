#include "app/Unit1.h"

#include "app/Aboutunit.h"
#include "app/Alerts.h"
#include "app/Configunit.h"
#include "app/Design.h"
#include "app/FindBar.h"
#include "app/GuiCalls.h"
#include "app/HistoryControl.h"
#include "app/LineHistoryForm.h"
#include "app/OverviewForm.h"
#include "board/Board.h"
#include "board/BoardCsv.h"
#include "board/BoardRead.h"
#include "board/BoardSearch.h"
#include "board/qt/BoardColors.h"
#include "board/qt/LineGrid.h"
#include "common/SpanText.h"
#include "common/Texts.h"
#include "link/AnswerWatch.h"
#include "platform/qt/Gbk.h"
#include "platform/qt/PlainText.h"
#include "settings/EventLog.h"
#include "settings/qt/Placement.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QSaveFile>
#include <QThread>
#include <QVBoxLayout>

TForm1* Form1 = nullptr;

namespace {

QLabel* MakePanel(const char* objectName, const char* text, QWidget* parent)
{
    auto* panel = new QLabel(parent);
    panel->setObjectName(QLatin1String(objectName));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setFixedHeight(21);
    // A panel shows what fits of its text, centred and cut at its edges: a long summary or host name
    // must never widen the window, nor keep it from being made narrower.
    panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    panel->setAlignment(Qt::AlignCenter);
    // Texts from the server and the configuration are shown as they are, never as markup.
    panel->setTextFormat(Qt::PlainText);
    panel->setText(QLatin1String(text));
    return panel;
}

// The whole text stays readable in the panel's tooltip, however little of it fits.
void SetPanelText(QLabel* panel, const QString& text)
{
    panel->setText(text);
    panel->setToolTip(PlainToolTip(text));
}

} // namespace

TForm1::TForm1(const LinkTiming& timing, QWidget* parent) : QMainWindow(parent), timing_(timing)
{
    setObjectName(QStringLiteral("Form1"));
    guiCalls_ = new TGuiCalls(this);
    setWindowTitle(QString::fromUtf8(Texts::kCaptionZhUtf8));
    setFont(DesignFont());
    // The design's position and size are the window's outer ones, frame included.
    move(123, 168);
    SetOuterSize(*this, 795, 528);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    TotalInfoPan = MakePanel("TotalInfoPan", "TotalInfoPan", central);
    LineGrid = new TLineGrid(central);
    SysStatPan = MakePanel("SysStatPan", "SysStatPan", central);
    FindBar = new TFindBar(central);
    layout->addWidget(TotalInfoPan);
    layout->addWidget(LineGrid, 1);
    layout->addWidget(FindBar);
    layout->addWidget(SysStatPan);
    setCentralWidget(central);

    System1 = menuBar()->addMenu(QStringLiteral("&System"));
    System1->setObjectName(QStringLiteral("System1"));
    Config1 = System1->addAction(QStringLiteral("&Configure"), this, &TForm1::Config1Click);
    Config1->setObjectName(QStringLiteral("Config1"));
    Reconnect1 = System1->addAction(QStringLiteral("&Reconnect"), this, &TForm1::Reconnect1Click);
    Reconnect1->setObjectName(QStringLiteral("Reconnect1"));
    Exit1 = System1->addAction(QStringLiteral("E&xit"), this, &TForm1::Exit1Click);
    Exit1->setObjectName(QStringLiteral("Exit1"));
    Help1 = menuBar()->addMenu(QStringLiteral("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    About1 = Help1->addAction(QStringLiteral("&About"), this, &TForm1::About1Click);
    About1->setObjectName(QStringLiteral("About1"));

    // The tools: not in the main menu, which stays as designed, but in the grid's context menu, each
    // with its shortcut.
    const auto tool = [this](const char* name, const char* text, const QKeySequence& keys) {
        auto* action = new QAction(QLatin1String(text), this);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(keys);
        // Added to the grid, the shortcut works anywhere in the window (the window's own is still the
        // grid's window) and the item shows in the grid's context menu.
        LineGrid->addAction(action);
        return action;
    };
    Find1 = tool("Find1", "&Find...", QKeySequence::Find);
    FindNext1 = tool("FindNext1", "Find &Next", QKeySequence(Qt::Key_F3));
    FindPrev1 = tool("FindPrev1", "Find &Previous", QKeySequence(Qt::SHIFT | Qt::Key_F3));
    Copy1 = tool("Copy1", "&Copy", QKeySequence::Copy);
    Overview1 = tool("Overview1", "Line &overview", QKeySequence(Qt::Key_F2));
    // Ctrl+C copies grid cells only while the grid has the focus; elsewhere it is the field's own.
    Copy1->setShortcutContext(Qt::WidgetShortcut);
    Export1 = tool("Export1", "&Export board as CSV...", QKeySequence());
    Alerts1 = tool("Alerts1", "&Alerts...", QKeySequence(Qt::Key_F4));
    Alerts = new TAlerts(this);
    connect(Alerts1, &QAction::triggered, Alerts, &TAlerts::Open);
    connect(Alerts, &TAlerts::LineChosen, LineGrid, &TLineGrid::SelectLine);
    connect(Export1, &QAction::triggered, this, &TForm1::Export1Click);
    ChooseExportPath = [this] {
        const QString name = QDateTime::currentDateTime().toString(QStringLiteral("'board-'yyyyMMdd-HHmmss'.csv'"));
        return QFileDialog::getSaveFileName(this, QStringLiteral("Export board as CSV"), name,
                                            QStringLiteral("CSV files (*.csv);;All files (*)"));
    };
    History = new THistoryControl(this);
    LineHistory1 = History->LineHistoryAction;
    LineGrid->addAction(LineHistory1);
    ExportHistory1 = tool("ExportHistory1", "Export line &history as CSV...", QKeySequence());
    KeepHistory1 = History->KeepAction;
    LineGrid->addAction(KeepHistory1);
    connect(LineHistory1, &QAction::triggered, this, &TForm1::LineHistory1Click);
    connect(ExportHistory1, &QAction::triggered, this, &TForm1::ExportHistory1Click);
    connect(History, &THistoryControl::LineHistoryAsked, this, &TForm1::OpenLineHistory);
    connect(History, &THistoryControl::FileChanged, this, [this](const QString& path) {
        if (LineHistoryForm)
            LineHistoryForm->SetFile(path);
    });
    ChooseHistoryExport = [this](int64_t& from, int64_t& until, QString& path) {
        return AskHistoryExport(this, from, until, path);
    };
    LineGrid->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(Find1, &QAction::triggered, this, &TForm1::Find1Click);
    connect(FindNext1, &QAction::triggered, this, [this] { FindLine(false); });
    connect(FindPrev1, &QAction::triggered, this, [this] { FindLine(true); });
    connect(Copy1, &QAction::triggered, LineGrid, &TLineGrid::CopySelection);
    connect(Overview1, &QAction::triggered, this, &TForm1::Overview1Click);
    connect(FindBar, &TFindBar::FindRequested, this, &TForm1::FindLine);
    connect(FindBar, &TFindBar::Closed, LineGrid, [this] { LineGrid->setFocus(Qt::OtherFocusReason); });

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(800);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    Timer1->start();

    CurView = this;
    FormCreate();
}

TForm1::~TForm1()
{
    // A window destroyed without being closed (tests) still ends its session cleanly.
    if (!closed_)
        StopMonitor();
    if (CurView == this)
        CurView = nullptr;
}

void TForm1::FormCreate()
{
    RestorePlacement(*this, *LineGrid);
    // Listening before the first frame comes.
    History->StartIfEnabled();
    StartMonitor();
}

void TForm1::FormClose()
{
    SavePlacement(*this, *LineGrid);
    StopMonitor();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (!closed_) {
        closed_ = true;
        FormClose();
    }
    event->accept();
}

int TForm1::StartMonitor()
{
    BoardBusy.store(0);
    ++session_;
    ForgetQueuedSummary();
    LoadConfig(CurConfig);
    if (CurConfig.Get().IsEnglish == 1)
        setWindowTitle(QLatin1String(Texts::kCaptionEn));

    CurLink = new TagTcpConnection(CurConfig, timing_);
    if (CurLink->connected)
        CurLink->StartWorker();
    else
        ShowLinkState(false);
    return 0;
}

void TForm1::StopMonitor()
{
    if (BoardBusy.load() & kBusyStopped)
        return;
    BoardBusy.fetch_or(kBusyStopped);
    ++session_;
    QThread::msleep(static_cast<unsigned long>(stopSettle.count()));
    // The link goes first: its destructor waits for the worker, which may still write the board.
    delete CurLink;
    CurLink = nullptr;
    ForgetQueuedSummary();
    DestroyBoard();
}

void TForm1::RunForSession(std::function<void()> fn)
{
    if (QThread::currentThread() == thread()) {
        fn();
        return;
    }
    const uint64_t session = session_.load();
    guiCalls_->Post([this, session, fn = std::move(fn)] {
        if (session_.load() == session)
            fn();
    });
}

void TForm1::ShowLinkState(bool connected)
{
    RunForSession([this, connected] { ApplyLinkState(connected); });
}

void TForm1::ApplyLinkState(bool connected)
{
    const TagRunCfg cfg = CurConfig.Get();
    QPalette pal = SysStatPan->palette();
    pal.setColor(QPalette::WindowText, connected ? QColor(0, 0, 0) : QColor(255, 0, 0));
    SysStatPan->setPalette(pal);

    // The address text holds at most 255 characters; a longer address is cut.
    std::string address = Format("%s : %d", cfg.ServerIp.c_str(), cfg.ServerPort);
    if (address.size() > 255)
        address.resize(255);
    const char* prefix = cfg.IsEnglish != 0 ? (connected ? Texts::kLinkUpEn : Texts::kLinkDownEn)
                                            : (connected ? Texts::kLinkUpZh : Texts::kLinkDownZh);
    linkStateText_ = std::string(prefix) + address;
    linkEnglish_ = cfg.IsEnglish != 0;
    overdueShown_ = false;
    SetPanelText(SysStatPan, FromGbk(linkStateText_));
    SysStatPan->setToolTip(PlainToolTip(SysStatPan->text() + QLatin1Char('\n') + LastAnswerText()));
}

QString TForm1::LastAnswerText() const
{
    const int64_t at = CurLink ? CurLink->lastAnswerAt.load() : 0;
    if (at == 0)
        return QStringLiteral("No answer yet in this session");
    const int64_t agoMs = std::max<int64_t>(0, SteadyMs() - at);
    const QDateTime when = QDateTime::currentDateTime().addMSecs(-agoMs);
    return QStringLiteral("Last answer at %1 (%2 ago)")
        .arg(when.toString(QStringLiteral("HH:mm:ss")), QString::fromStdString(SpanText(agoMs / 1000)));
}

void TForm1::WatchAnswers()
{
    if (!CurLink)
        return;
    const AnswerWait wait = WatchAnswer(*CurLink, SteadyMs());
    if (wait.overdue) {
        // The link-up text and address as last shown, and how long the answer has been awaited.
        if (TakeOverdueReport(*CurLink))
            WriteLog(Format(Texts::kNoAnswerLog, int(CurLink->timing.answerOverdue.count() / 1000)));
        const int seconds = int(wait.waitedMs / 1000);
        const std::string text =
            linkStateText_ + Format(linkEnglish_ ? Texts::kNoAnswerEn : Texts::kNoAnswerZh, seconds);
        QPalette pal = SysStatPan->palette();
        pal.setColor(QPalette::WindowText, OverdueColor());
        SysStatPan->setPalette(pal);
        SetPanelText(SysStatPan, FromGbk(text));
        overdueShown_ = true;
    } else if (overdueShown_ && CurLink->connected) {
        ApplyLinkState(true); // the answer came: the exact text and colour again
    }
    SysStatPan->setToolTip(PlainToolTip(SysStatPan->text() + QLatin1Char('\n') + LastAnswerText()));
}

void TForm1::SetSummaryText(const std::string& gbk)
{
    if (QThread::currentThread() == thread()) {
        SetPanelText(TotalInfoPan, FromGbk(gbk));
        summaryShownAt_ = SteadyMs();
        return;
    }
    // A fast server sends a summary with every answer, and laying out the panel's text is the
    // dearest thing the GUI thread does per answer. The newest one waits for the next refresh tick,
    // unless the panel has not changed for a tick already (the first answer of a session, a slow
    // server): then it is shown at once.
    {
        std::lock_guard lock(summaryMutex_);
        pendingSummary_ = gbk;
        summaryPending_ = true;
        const int64_t shownAt = summaryShownAt_.load();
        if (summaryQueued_ || (shownAt != 0 && SteadyMs() - shownAt < summaryHoldMs.load()))
            return;
        summaryQueued_ = true;
    }
    RunForSession([this] { ShowPendingSummary(); });
}

void TForm1::ShowPendingSummary()
{
    std::string text;
    {
        std::lock_guard lock(summaryMutex_);
        summaryQueued_ = false;
        if (!summaryPending_)
            return;
        text.swap(pendingSummary_);
        summaryPending_ = false;
    }
    SetPanelText(TotalInfoPan, FromGbk(text));
    summaryShownAt_ = SteadyMs();
}

void TForm1::ForgetQueuedSummary()
{
    // A queued summary of an ended session is dropped unseen, so nothing is waiting any more, and
    // the first summary of the next session is shown at once.
    std::lock_guard lock(summaryMutex_);
    pendingSummary_.clear();
    summaryPending_ = false;
    summaryQueued_ = false;
    summaryShownAt_ = 0;
}

bool TForm1::LayoutGrid(TagMonitor& board, WakeFlag& stop)
{
    if (QThread::currentThread() == thread()) {
        LineGrid->LayoutGrid(board);
        return true;
    }
    // The worker waits here while the GUI thread lays the grid out. The GUI thread may instead be
    // stopping the session and waiting for this worker: then stop is set, the wait ends, and the
    // queued layout finds itself cancelled and leaves the board (soon freed) alone.
    struct Job {
        std::mutex mutex;
        bool cancelled = false;
        std::atomic<bool> done{false};
    };
    auto job = std::make_shared<Job>();
    TagMonitor* target = &board;
    guiCalls_->Post([this, job, target, &stop] {
        {
            std::lock_guard lock(job->mutex);
            if (job->cancelled)
                return;
            LineGrid->LayoutGrid(*target);
            job->done = true;
        }
        stop.Notify();
    });
    if (stop.WaitUntil([&] { return job->done.load(); }))
        return true;
    std::lock_guard lock(job->mutex);
    job->cancelled = true;
    return job->done.load();
}

void TForm1::Timer1Timer()
{
    ShowPendingSummary();
    WatchAnswers();
    // Before the early return: the overview also shows that the board has gone.
    History->Watch();
    if (OverviewForm && OverviewForm->isVisible())
        OverviewForm->RefreshOverview();
    Alerts->Tick();
    if (BoardBusy.load() != 0 || RefreshBusy)
        return;
    RefreshBusy = true;
    LineGrid->RefreshGrid();
    RefreshBusy = false;
}

void TForm1::Config1Click()
{
    if (ConfigForm)
        ConfigForm->exec();
}

void TForm1::Reconnect1Click()
{
    StopMonitor();
    StartMonitor();
}

void TForm1::Exit1Click()
{
    close();
}

void TForm1::Find1Click()
{
    FindBar->Open();
}

void TForm1::Overview1Click()
{
    if (!OverviewForm) {
        OverviewForm = new TOverviewForm(this);
        connect(OverviewForm, &TOverviewForm::LineChosen, LineGrid, &TLineGrid::SelectLine);
        History->AttachOverview(OverviewForm);
    }
    OverviewForm->Open();
}

void TForm1::LineHistory1Click()
{
    int line = 0;
    ReadCurBoard([&](const TagMonitor& board) { line = LineGrid->CurrentLine(board.LineCount); });
    OpenLineHistory(std::max(line, 0));
}

void TForm1::OpenLineHistory(int line)
{
    if (!LineHistoryForm) {
        LineHistoryForm = new TLineHistoryForm(this);
        LineHistoryForm->SetFile(History->Enabled() ? HistoryFilePath() : QString());
    }
    LineHistoryForm->Open(line);
}

bool TForm1::ExportHistory1Click()
{
    const auto fail = [this](const QString& text) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Export line history as CSV"), text, QMessageBox::Ok,
                        this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return false;
    };
    if (!History->Enabled())
        return fail(QStringLiteral("Line history is off. Turn it on with \"Keep line history\" first."));
    int64_t from = 0;
    int64_t until = 0;
    QString path;
    if (!ChooseHistoryExport || !ChooseHistoryExport(from, until, path) || path.isEmpty())
        return false;
    // What the journal holds reaches the file first.
    if (History->Journal())
        History->Journal()->Flush();
    QString error;
    if (!ExportHistoryCsv(HistoryFilePath(), -1, from, until, path, error))
        return fail(error);
    return true;
}

void TForm1::FindLine(bool backwards)
{
    if (!FindBar->isVisible() || FindBar->FindEdit->text().isEmpty()) {
        FindBar->Open();
        return;
    }
    // Made before any lock: the first one in the process reads the decoder's table.
    TBoardFind find(FindBar->FindEdit->text().toStdU16String());
    int lineCount = 0;
    // The board's texts, not the grid's: a line never scrolled into view has never been copied. A
    // slice at a time, each under the locks for about a millisecond, so the worker stores its
    // answers between them however much text the board holds.
    for (;;) {
        const BoardState state = ReadCurBoard([&](const TagMonitor& board) {
            find.Step(board);
            lineCount = board.LineCount;
        });
        if (state != BoardState::Read) {
            FindBar->ShowStatus(QStringLiteral("no board yet"), true);
            return;
        }
        if (find.Done())
            break;
        if (BetweenFindSlices)
            BetweenFindSlices();
    }
    const std::vector<int>& matches = find.Matches();
    if (matches.empty()) {
        FindBar->ShowStatus(QStringLiteral("no match"), true);
        return;
    }
    const int line = NextMatch(matches, LineGrid->CurrentLine(lineCount), backwards);
    LineGrid->SelectLine(line);
    const auto at = std::lower_bound(matches.begin(), matches.end(), line);
    FindBar->ShowStatus(QStringLiteral("%1 of %2").arg(at - matches.begin() + 1).arg(matches.size()), false);
}

bool TForm1::Export1Click()
{
    const auto fail = [this](const QString& text) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Export board as CSV"), text, QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return false;
    };
    // The text is taken under the board's locks; the boxes come after: their event loop paints the
    // grid and runs the timer, which take the same locks.
    std::string csv;
    const TagRunCfg config = CurConfig.Get();
    // With a byte order mark: a spreadsheet on Windows reads a file without one in the system's code
    // page (936 on a Chinese desk) and shows the UTF-8 as mojibake.
    if (ReadCurBoard([&](const TagMonitor& board) {
            csv = BoardCsv(board, config, CsvClockNow(board), kDefaultStatusColumn, CsvStart::ByteOrderMark);
        }) != BoardState::Read)
        return fail(QStringLiteral("There is no board to export yet."));
    const QString path = ChooseExportPath ? ChooseExportPath() : QString();
    if (path.isEmpty())
        return false;
    // Written beside the target and renamed over it when whole: a failure leaves no partial file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv.data(), qint64(csv.size())) != qint64(csv.size()) ||
        !file.commit()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(
            QStringLiteral("The board could not be written to %1: %2").arg(QDir::toNativeSeparators(path), reason));
    }
    return true;
}

void TForm1::About1Click()
{
    if (Form2)
        Form2->exec();
}
