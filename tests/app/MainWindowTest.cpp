#include "app/GuiCalls.h"
#include "app/Unit1.h"
#include "board/Board.h"
#include "board/qt/LineGrid.h"
#include "common/Texts.h"
#include "platform/Utf8.h"
#include "platform/qt/Gbk.h"
#include "settings/EventLog.h"
#include "support/Frames.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"

#include <QApplication>
#include <QMenuBar>
#include <QTest>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    ScratchDir dir;
    MessageRecorder boxes;
    RefusingPort refusing;
    int port = refusing.port();

    std::unique_ptr<TForm1> MakeForm(const std::string& extra = "")
    {
        WriteLoopbackConfig(port, extra);
        auto form = std::make_unique<TForm1>(WindowTiming());
        form->stopSettle = std::chrono::milliseconds(1);
        return form;
    }

    void TearDown() override
    {
        BoardBusy.store(0);
        CurConfig.Set(TagRunCfg());
    }
};

TEST_F(MainWindowTest, DesignOfTheWindow)
{
    auto form = MakeForm();
    EXPECT_EQ(form->windowTitle(), QString::fromUtf8("Halverdon语音平台 运行监控"));
    EXPECT_EQ(form->TotalInfoPan->text(), QStringLiteral("TotalInfoPan"));
    EXPECT_EQ(form->TotalInfoPan->height(), 21);
    EXPECT_EQ(form->TotalInfoPan->textFormat(), Qt::PlainText);
    EXPECT_EQ(form->Timer1->interval(), 800);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->LineGrid->objectName(), QStringLiteral("LineGrid"));
    EXPECT_EQ(form->LineGrid->model()->columnCount(), 8);

    QStringList menus;
    for (QAction* a : form->menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{QStringLiteral("&System"), QStringLiteral("&Help")}));
    QStringList items;
    for (QAction* a : form->System1->actions())
        items << a->text();
    EXPECT_EQ(items,
              (QStringList{QStringLiteral("&Configure"), QStringLiteral("&Reconnect"), QStringLiteral("E&xit")}));
    ASSERT_EQ(form->Help1->actions().size(), 1);
    EXPECT_EQ(form->Help1->actions()[0]->text(), QStringLiteral("&About"));
}

TEST_F(MainWindowTest, UnreachableServerShowsOneBoxAndTheLinkDown)
{
    auto form = MakeForm("LANGUAGE_TYPE = English\n");
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Zandoral Platform Monitor"));
    const QString expected = QStringLiteral("Disconneted! 127.0.0.1 : %1").arg(port);
    EXPECT_EQ(form->SysStatPan->text(), expected);
    EXPECT_EQ(form->SysStatPan->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    ASSERT_EQ(boxes.messages().size(), 1u);
    EXPECT_EQ(boxes.messages()[0].caption, "TCP/IP");
    EXPECT_EQ(boxes.messages()[0].text,
              "Connect to '127.0.0.1:" + std::to_string(port) + "' failed, Checking network or CTI Server.");
    EXPECT_EQ(CurBoard, nullptr);
}

TEST_F(MainWindowTest, LinkStateTextsAndColours)
{
    auto form = MakeForm();
    const QString addr = QStringLiteral("127.0.0.1 : %1").arg(port);
    struct {
        uint8_t english;
        bool connected;
        QString text;
        QColor colour;
    } cases[] = {
        {1, true, QStringLiteral("Conneted, OK. ") + addr, QColor(0, 0, 0)},
        {1, false, QStringLiteral("Disconneted! ") + addr, QColor(255, 0, 0)},
        {0, true, QString::fromUtf8("已联通, ") + addr, QColor(0, 0, 0)},
        {0, false, QString::fromUtf8("不通! ") + addr, QColor(255, 0, 0)},
    };
    for (const auto& c : cases) {
        TagRunCfg cfg = CurConfig.Get();
        cfg.IsEnglish = c.english;
        CurConfig.Set(cfg);
        form->ShowLinkState(c.connected);
        EXPECT_EQ(form->SysStatPan->text(), c.text);
        EXPECT_EQ(form->SysStatPan->palette().color(QPalette::WindowText), c.colour);
    }
}

TEST_F(MainWindowTest, LongAddressIsCut)
{
    auto form = MakeForm();
    TagRunCfg cfg = CurConfig.Get();
    cfg.ServerIp = std::string(400, 'h');
    cfg.IsEnglish = 1;
    CurConfig.Set(cfg);
    form->ShowLinkState(false);
    EXPECT_EQ(form->SysStatPan->text().size(), int(sizeof(Texts::kLinkDownEn) - 1 + 255));
}

TEST_F(MainWindowTest, LongTextsNeverResizeTheWindow)
{
    auto form = MakeForm();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    const QSize designed = form->size();
    const std::string gbkWord = "\xCD\xA8\xBB\xB0\xD6\xD0"; // 通话中
    const struct {
        const char* what;
        std::string summary;
    } summaries[] = {
        {"empty", ""},
        {"40 ASCII", std::string(40, 'x')},
        {"400 ASCII", std::string(400, 'x')},
        {"4000 ASCII", std::string(4000, 'x')},
        {"40 GBK",
         [&] {
             std::string s;
             while (s.size() < 40)
                 s += gbkWord;
             return s;
         }()},
        {"400 GBK",
         [&] {
             std::string s;
             while (s.size() < 400)
                 s += gbkWord;
             return s;
         }()},
        {"4000 GBK",
         [&] {
             std::string s;
             while (s.size() < 4000)
                 s += gbkWord;
             return s;
         }()},
    };
    const auto checkSizes = [&] {
        QApplication::processEvents();
        EXPECT_EQ(form->size(), designed);
        EXPECT_LE(form->minimumSizeHint().width(), 300);
        EXPECT_LE(form->minimumWidth(), 300);
        form->resize(300, designed.height());
        QApplication::processEvents();
        EXPECT_EQ(form->width(), 300);
        form->resize(designed);
        QApplication::processEvents();
    };
    // What a tooltip shows, as text: a long one comes escaped, with break opportunities.
    const auto shownTip = [](const QString& tip) {
        if (!Qt::mightBeRichText(tip))
            return tip;
        QTextDocument doc;
        doc.setHtml(tip);
        return doc.toPlainText().remove(QChar(0x200B));
    };
    for (const auto& c : summaries) {
        SCOPED_TRACE(c.what);
        form->SetSummaryText(c.summary);
        // The whole summary, up to what a tooltip shows.
        const QString whole = FromGbk(c.summary);
        const auto most = qsizetype(kTipChars);
        EXPECT_EQ(shownTip(form->TotalInfoPan->toolTip()),
                  whole.size() <= most ? whole : whole.left(most - 1) + QChar(0x2026));
        checkSizes();
    }

    TagRunCfg cfg = CurConfig.Get();
    cfg.ServerIp = std::string(255, 'h');
    CurConfig.Set(cfg);
    form->ShowLinkState(false);
    EXPECT_TRUE(shownTip(form->SysStatPan->toolTip()).startsWith(form->SysStatPan->text() + QLatin1Char('\n')));
    EXPECT_GT(form->SysStatPan->text().size(), 255);
    checkSizes();
}

TEST_F(MainWindowTest, SummaryTextIsPlainText)
{
    auto form = MakeForm();
    form->SetSummaryText("<b>x</b>");
    EXPECT_EQ(form->TotalInfoPan->text(), QStringLiteral("<b>x</b>"));
    // The tooltip too shows the tags as they came, not as markup.
    QTextDocument shown;
    shown.setHtml(form->TotalInfoPan->toolTip());
    EXPECT_EQ(shown.toPlainText(), QStringLiteral("<b>x</b>"));
}

TEST_F(MainWindowTest, WorkerCallsAreQueuedAndDroppedAfterTheirSession)
{
    auto form = MakeForm();
    std::thread([&] { form->SetSummaryText("from worker"); }).join();
    EXPECT_EQ(form->TotalInfoPan->text(), QStringLiteral("TotalInfoPan")); // not yet: queued
    QApplication::processEvents();
    EXPECT_EQ(form->TotalInfoPan->text(), QStringLiteral("from worker"));

    std::thread([&] { form->SetSummaryText("stale"); }).join();
    form->Reconnect1Click();
    QApplication::processEvents();
    EXPECT_EQ(form->TotalInfoPan->text(), QStringLiteral("from worker"));
}

TEST_F(MainWindowTest, OnlyTheNewestWaitingSummaryIsShown)
{
    auto form = MakeForm();
    QueuedCallCounter counter;
    auto* calls = form->findChild<TGuiCalls*>();
    ASSERT_NE(calls, nullptr);
    calls->installEventFilter(&counter);
    std::thread([&] {
        for (int i = 0; i < 100; ++i)
            form->SetSummaryText("total " + std::to_string(i));
    }).join();
    QApplication::processEvents();
    EXPECT_EQ(form->TotalInfoPan->text(), QStringLiteral("total 99"));
    EXPECT_EQ(counter.calls, 1);

    // After a session change nothing is left waiting, and the next summary still arrives.
    std::thread([&] { form->SetSummaryText("stale"); }).join();
    form->Reconnect1Click();
    QApplication::processEvents();
    EXPECT_EQ(form->TotalInfoPan->text(), QStringLiteral("total 99"));
    std::thread([&] { form->SetSummaryText("fresh"); }).join();
    QApplication::processEvents();
    EXPECT_EQ(form->TotalInfoPan->text(), QStringLiteral("fresh"));
    calls->removeEventFilter(&counter);
}

TEST_F(MainWindowTest, FastSummariesWaitForTheNextTick)
{
    auto form = MakeForm();
    form->Timer1->stop(); // the test plays the ticks
    form->summaryHoldMs = 60 * 60 * 1000;
    const auto fromWorker = [&](const std::string& text) {
        std::thread([&] { form->SetSummaryText(text); }).join();
        QApplication::processEvents();
    };
    // The first summary of the session is shown at once.
    fromWorker("first");
    EXPECT_EQ(form->TotalInfoPan->text(), QStringLiteral("first"));
    // The ones after it wait for the tick, which shows the newest.
    fromWorker("second");
    fromWorker("third");
    EXPECT_EQ(form->TotalInfoPan->text(), QStringLiteral("first"));
    form->Timer1Timer();
    EXPECT_EQ(form->TotalInfoPan->text(), QStringLiteral("third"));
    // A tick with nothing new leaves the panel alone, also while no board exists.
    form->TotalInfoPan->setText(QStringLiteral("operator"));
    form->Timer1Timer();
    EXPECT_EQ(form->TotalInfoPan->text(), QStringLiteral("operator"));
    // Once the panel has not changed for a tick, a summary is shown at once again.
    form->summaryHoldMs = 0;
    fromWorker("slow server");
    EXPECT_EQ(form->TotalInfoPan->text(), QStringLiteral("slow server"));
}

// A server that takes the poll and does not answer: the status panel says so, counting, and the
// answer brings the exact text back. Nothing reconnects because of it.
TEST_F(MainWindowTest, OverdueAnswerIsShownUntilItComes)
{
    LoopbackServer server;
    for (uint8_t english : {1, 0}) {
        SCOPED_TRACE(int(english));
        WriteLoopbackConfig(server.port(), english ? "LANGUAGE_TYPE = English\r\nSLEEP_SEC = 0\r\n"
                                                   : "LANGUAGE_TYPE = Chinese\r\nSLEEP_SEC = 0\r\n");
        LinkTiming timing = WindowTiming();
        timing.firstConnectTimeout = std::chrono::seconds(2);
        timing.answerOverdue = std::chrono::milliseconds(1100);
        timing.sleepUnit = std::chrono::hours(1); // after the answer the worker pauses
        auto form = std::make_unique<TForm1>(timing);
        form->stopSettle = std::chrono::milliseconds(1);
        form->Timer1->stop(); // the test plays the ticks
        Peer peer = server.Accept();
        ASSERT_EQ(peer.Read(5), "00011");
        QApplication::processEvents();
        const QString up =
            QString::fromUtf8(english ? "Conneted, OK. 127.0.0.1 : %1" : "已联通, 127.0.0.1 : %1").arg(server.port());
        EXPECT_EQ(form->SysStatPan->text(), up);
        EXPECT_TRUE(form->SysStatPan->toolTip().endsWith(QStringLiteral("No answer yet in this session")));

        ASSERT_TRUE(WaitFor([&] { return SteadyMs() - CurLink->pollSentAt.load() > 1100; }));
        form->Timer1Timer();
        const QString overdue = up + QString::fromUtf8(english ? " (no answer for 1 s)" : "（1 秒无应答）");
        EXPECT_EQ(form->SysStatPan->text(), overdue);
        EXPECT_EQ(form->SysStatPan->palette().color(QPalette::WindowText), QColor(204, 102, 0));
        form->Timer1Timer(); // counted once per stall
        const std::vector<std::string> log = LogMessages();
        EXPECT_EQ(log, std::vector<std::string>{"no answer for 1 s"});
        EXPECT_TRUE(CurLink->connected);

        ASSERT_TRUE(peer.Send(Frame(1, Record(0, 0, 0, 15, "late"))));
        // The worker lays the grid out through the GUI thread, so the wait runs the event loop.
        ASSERT_TRUE(QTest::qWaitFor([&] { return CurLink->lastAnswerAt.load() != 0; }, 5000));
        form->Timer1Timer();
        EXPECT_EQ(form->SysStatPan->text(), up);
        EXPECT_EQ(form->SysStatPan->palette().color(QPalette::WindowText), QColor(0, 0, 0));
        EXPECT_TRUE(form->SysStatPan->toolTip().contains(QStringLiteral("Last answer at ")));
        form.reset();
        std::remove(kLogFileName);
    }
}

TEST_F(MainWindowTest, SecondStopDoesNothing)
{
    auto form = MakeForm();
    form->StopMonitor();
    EXPECT_NE(BoardBusy.load() & kBusyStopped, 0);
    EXPECT_EQ(CurLink, nullptr);
    // A board that appears now would be freed by a stop that still ran.
    {
        BoardLock lock(CurBoardLock);
        CurBoard = new TagMonitor(3);
    }
    form->StopMonitor();
    EXPECT_NE(CurBoard, nullptr);
    DestroyBoard();
}

TEST_F(MainWindowTest, ReconnectFromIdleStartsAFreshAttempt)
{
    auto form = MakeForm();
    ASSERT_EQ(boxes.messages().size(), 1u);
    form->Reconnect1Click();
    EXPECT_EQ(boxes.messages().size(), 2u);
    EXPECT_EQ(BoardBusy.load(), 0);
    ASSERT_NE(CurLink, nullptr);
    EXPECT_FALSE(CurLink->connected);
}

TEST_F(MainWindowTest, TimerRefreshesOnlyWhenAllowed)
{
    auto form = MakeForm();
    form->show();
    auto* board = new TagMonitor(2);
    form->LineGrid->LayoutGrid(*board);
    SetCell(*board, "Idle", 0, 2, 4, 15);
    {
        BoardLock lock(CurBoardLock);
        CurBoard = board;
    }

    BoardBusy.store(kBusyReplacing);
    form->Timer1Timer();
    EXPECT_TRUE(board->Rows[0].Cols[2].Changed);

    BoardBusy.store(0);
    form->RefreshBusy = true;
    form->Timer1Timer();
    EXPECT_TRUE(board->Rows[0].Cols[2].Changed);
    form->RefreshBusy = false;

    form->Timer1Timer();
    EXPECT_FALSE(board->Rows[0].Cols[2].Changed);
    EXPECT_FALSE(form->RefreshBusy);
    DestroyBoard();
}

} // namespace
