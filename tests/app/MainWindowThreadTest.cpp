// The real receive worker against the real window: the worker decodes frames into the board,
// replaces it when the line count changes (handing the layout to the GUI thread through
// TForm1::LayoutGrid) and queues summaries, while the GUI thread runs Timer1Timer and paints the
// grid. Built to be run under ThreadSanitizer and AddressSanitizer as well, where a missing lock or
// a layout that outlives its board is reported even when every check here passes.

#include "app/GuiCalls.h"
#include "app/Unit1.h"
#include "board/Board.h"
#include "board/GridMap.h"
#include "board/qt/LineGrid.h"
#include "support/Frames.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"

#include <QApplication>
#include <QImage>
#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <thread>

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

// A frame's line count: three frames of each count, so the worker both replaces the board (the
// first frame of a count) and writes into the board it has (the other two).
int LinesOfFrame(int frame)
{
    constexpr int kCounts[] = {6, 9, 3, 12};
    return kCounts[(frame / 3) % 4];
}

// Every cell of a frame has the same background, never white, so a grab shows whether the cell
// drawing took its colours from the board.
int BackOfFrame(int frame)
{
    return 1 + frame % 6;
}

QColor PaletteColour(int index)
{
    const TColor c = LinePalette[index];
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// All cells of every line, and the summary.
std::string FrameBytes(int frame)
{
    const int lines = LinesOfFrame(frame);
    std::string records;
    for (int line = 0; line < lines; ++line) {
        for (int column = 0; column < kColsPerLine; ++column)
            records += Record(line, column, 0, BackOfFrame(frame), std::to_string(frame));
    }
    records += Record(-1, 0, 0, 0, "frame " + std::to_string(frame));
    return Frame(lines, records);
}

constexpr char kPoll[] = "00011";

class MainWindowThreadTest : public ::testing::Test {
protected:
    ScratchDir dir;
    MessageRecorder boxes;
    LoopbackServer server;

    std::unique_ptr<TForm1> MakeForm()
    {
        WriteLoopbackConfig(server.port(), "SLEEP_SEC = 0\r\n");
        auto form = std::make_unique<TForm1>(WindowTiming());
        form->stopSettle = 1ms;
        return form;
    }

    void TearDown() override
    {
        BoardBusy.store(0);
        CurConfig.Set(TagRunCfg());
    }
};

// Runs the GUI thread's events until cond holds or the time-out passes; returns cond().
bool ProcessEventsUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout = 10s)
{
    const auto deadline = Clock::now() + timeout;
    while (!cond() && Clock::now() < deadline) {
        QApplication::processEvents();
        std::this_thread::sleep_for(1ms);
    }
    return cond();
}

// The background of grid cell (0, 1) (line 0, column 0) as the grid paints it now.
QColor PaintedBackground(TLineGrid& grid)
{
    const QRect cell = grid.visualRect(grid.model()->index(0, 0));
    const QImage image = grid.viewport()->grab().toImage();
    // The far corner: the text is drawn from the left edge and the grid lines lie on the border.
    return image.pixelColor(cell.right() - 2, cell.bottom() - 2);
}

TEST_F(MainWindowThreadTest, WorkerWritesAndReplacesTheBoardWhileTheWindowRefreshesAndPaints)
{
    constexpr int kFrames = 36;
    auto form = MakeForm();
    form->show();
    Peer peer = server.Accept();
    ASSERT_TRUE(peer.valid());

    // The server's side: every poll is answered at once with the next frame.
    std::atomic<int> answered{0};
    std::atomic<bool> serverFailed{false};
    std::thread serverSide([&] {
        for (int frame = 0; frame < kFrames; ++frame) {
            if (peer.Read(sizeof kPoll - 1, 10s) != kPoll || !peer.Send(FrameBytes(frame))) {
                serverFailed = true;
                return;
            }
            answered = frame + 1;
        }
    });

    // The GUI thread as it runs: the timer's refresh, a full repaint of the grid, queued calls.
    const QString lastSummary = QStringLiteral("frame %1").arg(kFrames - 1);
    int rounds = 0;
    const auto deadline = Clock::now() + 60s;
    while (Clock::now() < deadline && !serverFailed.load() &&
           !(answered.load() == kFrames && form->TotalInfoPan->text() == lastSummary)) {
        form->Timer1Timer();
        PaintedBackground(*form->LineGrid);
        QApplication::processEvents();
        ++rounds;
    }
    serverSide.join();
    ASSERT_FALSE(serverFailed.load());
    ASSERT_EQ(form->TotalInfoPan->text(), lastSummary) << rounds << " rounds";
    // The last frame's cells are on the board before its summary is queued.
    form->Timer1Timer();
    EXPECT_EQ(PaintedBackground(*form->LineGrid), PaletteColour(BackOfFrame(kFrames - 1)));

    const int lines = LinesOfFrame(kFrames - 1);
    {
        BoardLock lock(CurBoardLock);
        ASSERT_NE(CurBoard, nullptr);
        EXPECT_EQ(CurBoard->LineCount, lines);
        EXPECT_EQ(form->LineGrid->LaidOutFor(), CurBoard);
    }
    EXPECT_EQ(BoardBusy.load(), 0);
    EXPECT_EQ(form->LineGrid->RowCount(), GridRowCount(lines, 1));
    const QString lastText = QString::number(kFrames - 1);
    for (int line = 0; line < lines; ++line) {
        for (int column = 0; column < kColsPerLine; ++column)
            EXPECT_EQ(form->LineGrid->CellText(column, line + 1), lastText) << line << "," << column;
    }
    EXPECT_TRUE(boxes.messages().empty());
}

// Stands between the worker and the window, to tell the test when the worker has handed a layout
// to the GUI thread; everything else goes straight to the window.
class HandOffProbe : public MonitorView {
public:
    explicit HandOffProbe(TForm1& f) : form(f), previous(CurView) { CurView = this; }
    ~HandOffProbe() override { CurView = previous; }
    void ShowLinkState(bool connected) override { form.ShowLinkState(connected); }
    void SetSummaryText(const std::string& gbk) override { form.SetSummaryText(gbk); }
    bool LayoutGrid(TagMonitor& board, WakeFlag& stop) override
    {
        handedOver = true;
        const bool laidOut = form.LayoutGrid(board, stop);
        layoutResult = laidOut ? 1 : 0;
        return laidOut;
    }

    TForm1& form;
    MonitorView* previous;
    std::atomic<bool> handedOver{false};
    std::atomic<int> layoutResult{-1};
};

TEST_F(MainWindowThreadTest, StopCancelsTheLayoutQueuedByTheWorker)
{
    // The worker's frame needs a layout that the GUI thread has not run when the operator stops:
    // for the first board, and for a replacement of a board already shown.
    struct {
        const char* name;
        bool boardShown;
    } cases[] = {{"first board", false}, {"replacement", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto form = MakeForm();
        Peer peer = server.Accept();
        ASSERT_TRUE(peer.valid());
        ASSERT_EQ(peer.Read(sizeof kPoll - 1), kPoll);
        if (c.boardShown) {
            ASSERT_TRUE(peer.Send(Frame(5, Record(0, 0, 0, 4, "shown"))));
            // The worker waits for the GUI thread to lay the grid out, then polls again.
            ASSERT_TRUE(ProcessEventsUntil([&] { return form->LineGrid->RowCount() == GridRowCount(5, 1); }));
            ASSERT_EQ(peer.Read(sizeof kPoll - 1), kPoll);
        }
        const int rowsBefore = form->LineGrid->RowCount();

        // From here the GUI thread runs no event until the stop is over.
        HandOffProbe probe(*form);
        ASSERT_TRUE(peer.Send(Frame(8, Record(0, 0, 0, 4, "never laid out"))));
        ASSERT_TRUE(WaitFor([&] { return probe.handedOver.load(); }));
        QueuedCallCounter counter;
        auto* calls = form->findChild<TGuiCalls*>();
        ASSERT_NE(calls, nullptr);
        calls->installEventFilter(&counter);
        form->StopMonitor();
        EXPECT_EQ(probe.layoutResult.load(), 0);
        EXPECT_EQ(CurLink, nullptr);
        {
            BoardLock lock(CurBoardLock);
            EXPECT_EQ(CurBoard, nullptr);
        }

        // The queued layout still arrives, finds itself cancelled and leaves the freed board and
        // the grid alone.
        QApplication::processEvents();
        EXPECT_GE(counter.calls, 1);
        EXPECT_EQ(form->LineGrid->RowCount(), rowsBefore);
        calls->removeEventFilter(&counter);
    }
}

} // namespace
