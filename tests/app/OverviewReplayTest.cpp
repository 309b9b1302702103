// The line overview replaying a line history file: a journal written on the fake clock with known
// statuses at known moments, the window moved to a moment and checked by its pixels, its legend
// and its texts.
#include "app/ElidedLabel.h"
#include "app/OverviewForm.h"
#include "app/TilePainter.h"
#include "board/Board.h"
#include "common/HistorySink.h"
#include "history/HistoryReplay.h"
#include "settings/qt/Placement.h"
#include "support/Frames.h"
#include "support/HistoryRig.h"
#include "support/LocalZone.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTest>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <tuple>

using namespace std::chrono_literals;

namespace {

QColor ToQ(TColor c)
{
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// The simulator's statuses: text, fore and back palette indexes.
struct Status {
    const char* text;
    int fore;
    int back;
};
const Status kStatuses[] = {
    {"Idle", 2, 15}, {"Ringing", 0, 14}, {"Talking", 15, 1}, {"Recording", 15, 4}, {"Hang-up", 0, 7},
};

// "Replay: hh:mm:ss" of a UTC moment at UTC+8, worked out here apart from the program.
QString ReplayText(int64_t utcMs)
{
    const int64_t s = (utcMs / 1000 + 8 * 3600) % 86400;
    return QStringLiteral("Replay: %1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

class OverviewReplayTest : public ::testing::Test {
protected:
    static constexpr int kLines = 40;

    ScratchDir dir;
    LocalZone zone{"CST-8"}; // China: UTC+8, no summer time
    std::unique_ptr<HistoryRig> rig;
    std::unique_ptr<TOverviewForm> form;
    // Each line's status index as the board showed it since each moment.
    std::map<int64_t, std::vector<int>> model;

    void SetUp() override
    {
        const QString store = QString::fromStdString(dir.path()) + QStringLiteral("/placement.ini");
        SetPlacementStore([store] { return std::make_unique<QSettings>(store, QSettings::IniFormat); });
        rig = std::make_unique<HistoryRig>();
    }

    void TearDown() override
    {
        form.reset();
        rig.reset();
        SetPlacementStore(nullptr);
    }

    void OpenForm(QSize size = QSize(800, 500))
    {
        form = std::make_unique<TOverviewForm>();
        form->resize(size);
        form->show();
        form->RefreshOverview();
        QApplication::processEvents();
    }

    // Every line of the board from a status index each, in one frame.
    void Board(const std::vector<int>& statuses)
    {
        // In frames of 256 lines, as a frame holds at most the receive buffer.
        for (size_t from = 0; from < statuses.size(); from += 256) {
            std::string records;
            for (size_t i = from; i < std::min(statuses.size(), from + 256); ++i) {
                const Status& s = kStatuses[statuses[i]];
                records += Record(int(i), 2, s.fore, s.back, s.text);
            }
            if (from > 0) // answers a moment apart
                rig->Advance(1ms);
            rig->Receive(int(statuses.size()), records);
        }
        model[rig->Wall()] = statuses;
    }

    void Change(int line, int status)
    {
        const Status& s = kStatuses[status];
        std::vector<int> next = model.rbegin()->second;
        next[size_t(line)] = status;
        rig->Status(int(next.size()), line, s.text, s.fore, s.back);
        model[rig->Wall()] = next;
    }

    const std::vector<int>& ModelAt(int64_t t) const { return std::prev(model.upper_bound(t))->second; }

    QImage Grab() const
    {
        QApplication::processEvents();
        return form->TileView->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    // Inside the rings of an outline, clear of the number.
    QColor TileColour(const QImage& image, int line) const
    {
        const int in = TTilePainter::kMarkWidth;
        return image.pixelColor(form->TileView->TileRectOf(line).topLeft() + QPoint(in, in));
    }

    // What the shown legend labels say, whole.
    static std::vector<QString> Shown(const std::vector<TElidedLabel*>& labels)
    {
        std::vector<QString> texts;
        for (TElidedLabel* l : labels) {
            if (!l->isHidden())
                texts.push_back(l->FullText());
        }
        return texts;
    }

    // The legend the board at t should have: most lines first, ties by text; with a threshold, how
    // many of each had held their status for longer than it at t (from the model's own moments).
    std::vector<QString> LegendAt(int64_t t, int thresholdMinutes = 0) const
    {
        const std::vector<int>& statuses = ModelAt(t);
        std::map<std::string, std::pair<int, int>> counts;
        for (size_t line = 0; line < statuses.size(); ++line) {
            int64_t since = 0;
            for (auto it = model.upper_bound(t); it != model.begin();) {
                --it;
                if (line >= it->second.size() || it->second[line] != statuses[line])
                    break;
                since = it->first;
            }
            auto& [lines, longer] = counts[kStatuses[statuses[line]].text];
            ++lines;
            longer += thresholdMinutes > 0 && t - since > thresholdMinutes * 60'000 ? 1 : 0;
        }
        std::vector<std::tuple<int, std::string, int>> order;
        for (const auto& [text, n] : counts)
            order.emplace_back(-n.first, text, n.second);
        std::sort(order.begin(), order.end());
        std::vector<QString> texts;
        for (const auto& [n, text, longer] : order) {
            texts.push_back(QString::fromStdString(text) + QStringLiteral(" ") + QString::number(-n));
            if (longer > 0)
                texts.back() += QStringLiteral(", %1 unchanged").arg(longer);
        }
        return texts;
    }

    // The tiles and the legend show the board at t, and the window says label.
    void ExpectBoard(int64_t t, const QString& label, int thresholdMinutes = 0)
    {
        const std::vector<int>& statuses = ModelAt(t);
        const QImage image = Grab();
        for (int line = 0; line < int(statuses.size()); ++line)
            EXPECT_EQ(TileColour(image, line), ToQ(LinePalette[kStatuses[statuses[size_t(line)]].back])) << line;
        EXPECT_EQ(Shown(form->LegendLabs), LegendAt(t, thresholdMinutes));
        EXPECT_TRUE(Shown(form->GapLabs).empty());
        EXPECT_EQ(form->TotalLab->text(), QStringLiteral("Total %1").arg(statuses.size()));
        EXPECT_EQ(form->ReplayLab->text(), label);
    }

    // A journal: a board, two changes, the link down for 20 s, a change after it came back.
    struct Moments {
        int64_t first, changed, down, up, back, end;
    };
    Moments Journal()
    {
        Moments m{};
        std::vector<int> statuses(kLines);
        for (int i = 0; i < kLines; ++i)
            statuses[size_t(i)] = i % 5;
        m.first = rig->Wall();
        Board(statuses);
        rig->Advance(10s);
        m.changed = rig->Wall();
        Change(3, 2); // Recording to Talking
        Change(4, 1); // Hang-up to Ringing
        rig->Advance(10s);
        m.down = rig->Wall();
        History()->LinkChanged(false);
        rig->Advance(20s);
        m.up = rig->Wall();
        History()->LinkChanged(true);
        rig->Advance(1s);
        m.back = rig->Wall();
        Change(5, 3); // Idle to Recording: the first frame after the link came back
        rig->Advance(5s);
        EXPECT_TRUE(rig->Flush());
        m.end = rig->Wall();
        return m;
    }
};

TEST_F(OverviewReplayTest, WithoutAHistoryFileThereIsNoSliderAndTheTilesKeepTheirRoom)
{
    Journal();
    OpenForm();
    EXPECT_TRUE(form->ReplayBar->isHidden());
    EXPECT_EQ(form->TileView->height(), form->height());
    // A file that is not there yet (the journal makes it), or is no history file.
    form->SetHistoryFile(QStringLiteral("not-yet.sqlite3"));
    EXPECT_TRUE(form->ReplayBar->isHidden());
    WriteFile("notes.txt", "not a database");
    form->SetHistoryFile(QStringLiteral("notes.txt"));
    EXPECT_TRUE(form->ReplayBar->isHidden());
    EXPECT_FALSE(form->ReplayAt(rig->Wall()));
    EXPECT_FALSE(form->Replaying());

    form->SetHistoryFile(QStringLiteral("history.sqlite3"));
    QApplication::processEvents();
    EXPECT_FALSE(form->ReplayBar->isHidden());
    EXPECT_LT(form->TileView->height(), form->height());
    form->SetHistoryFile(QString());
    QApplication::processEvents();
    EXPECT_TRUE(form->ReplayBar->isHidden());
    EXPECT_EQ(form->TileView->height(), form->height());
}

TEST_F(OverviewReplayTest, EveryTileAndTheLegendShowTheBoardAtTheMoment)
{
    const Moments m = Journal();
    OpenForm();
    form->SetHistoryFile(QStringLiteral("history.sqlite3"));
    ASSERT_FALSE(form->ReplayBar->isHidden());
    // Live first: the board as it is now, the slider at its end.
    ExpectBoard(m.end, QStringLiteral("Live"));
    EXPECT_EQ(form->ReplaySlider->value(), form->ReplaySlider->maximum());
    EXPECT_FALSE(form->LiveButton->isEnabled());

    for (const int64_t t : {m.first + 5000, m.changed - 1, m.changed, m.changed + 7300, m.back + 2000}) {
        SCOPED_TRACE(t - m.first);
        ASSERT_TRUE(form->ReplayAt(t));
        EXPECT_TRUE(form->Replaying());
        ExpectBoard(t, ReplayText(t));
        EXPECT_TRUE(form->LiveButton->isEnabled());
        EXPECT_LT(form->ReplaySlider->value(), form->ReplaySlider->maximum());
    }
    // Hovering tells the replayed status and how long it had held then.
    ASSERT_TRUE(form->ReplayAt(m.changed + 7300));
    EXPECT_EQ(form->LineToolTip(3), QStringLiteral("Line 3: Talking for 7 s\n") + ReplayText(m.changed + 7300));
    EXPECT_EQ(form->LineToolTip(0), QStringLiteral("Line 0: Idle for 17 s\n") + ReplayText(m.changed + 7300));
    EXPECT_TRUE(form->LineToolTip(kLines).isEmpty());
}

TEST_F(OverviewReplayTest, LinesInAGapAreHatchedGapTilesCountedApart)
{
    const Moments m = Journal();
    OpenForm();
    form->SetHistoryFile(QStringLiteral("history.sqlite3"));
    ASSERT_TRUE(form->ReplayAt(m.down + 5000));
    const QImage image = Grab();
    for (int line = 0; line < kLines; ++line) {
        const QRect r = form->TileView->TileRectOf(line);
        // A line of the hatching through the corner, the grey beside it.
        EXPECT_EQ(image.pixelColor(r.topLeft()), TTilePainter::HatchColor()) << line;
        EXPECT_EQ(image.pixelColor(r.topLeft() + QPoint(1, 0)), ToQ(kReplayGapBack)) << line;
        EXPECT_EQ(image.pixelColor(r.topLeft() + QPoint(TTilePainter::kHatchPitch, 0)), TTilePainter::HatchColor());
    }
    EXPECT_TRUE(Shown(form->LegendLabs).empty());
    EXPECT_EQ(Shown(form->GapLabs), std::vector<QString>{QStringLiteral("(link down) 40")});
    EXPECT_EQ(form->TotalLab->text(), QStringLiteral("Total 40"));
    EXPECT_EQ(form->ReplayLab->text(), ReplayText(m.down + 5000));
    EXPECT_EQ(form->LineToolTip(9), QStringLiteral("Line 9: (link down) for 5 s\n") + ReplayText(m.down + 5000));

    // Before the recording began: its first moment, a millisecond before the first board came;
    // the board's shape, every tile a gap.
    ASSERT_TRUE(form->ReplayAt(m.first - 60'000));
    EXPECT_EQ(form->Replay()->at, m.first - 1) << "put within the span the file keeps";
    EXPECT_EQ(Shown(form->GapLabs), std::vector<QString>{QStringLiteral("(no board) 40")});
    EXPECT_EQ(form->LineToolTip(2), QStringLiteral("Line 2: (no board)\n") + ReplayText(m.first - 1));
    EXPECT_EQ(Grab().pixelColor(form->TileView->TileRectOf(39).topLeft()), TTilePainter::HatchColor());
    ASSERT_TRUE(form->ReplayAt(m.up - 1));
    EXPECT_EQ(Shown(form->GapLabs), std::vector<QString>{QStringLiteral("(link down) 40")});
    // Back up: the states again, not a gap.
    ASSERT_TRUE(form->ReplayAt(m.back));
    ExpectBoard(m.back, ReplayText(m.back));
}

TEST_F(OverviewReplayTest, TheLiveTickLeavesTheReplayAloneAndLiveOrEndComesBack)
{
    const Moments m = Journal();
    OpenForm();
    form->SetHistoryFile(QStringLiteral("history.sqlite3"));
    ASSERT_TRUE(form->ReplayAt(m.changed - 1));
    // The board changes live; the ticks go on; the replayed picture stays.
    Change(3, 4);
    Change(7, 1);
    rig->Advance(3s);
    ASSERT_TRUE(rig->Flush());
    const int slidEnd = form->ReplaySlider->maximum();
    form->RefreshOverview();
    form->RefreshOverview();
    ExpectBoard(m.changed - 1, ReplayText(m.changed - 1));
    // The slider's range follows the journal, the moment shown stays where it was.
    EXPECT_EQ(form->ReplaySlider->maximum(), slidEnd + 3);
    EXPECT_EQ(form->Replay()->at, m.changed - 1);

    form->LiveButton->click();
    EXPECT_FALSE(form->Replaying());
    ExpectBoard(rig->Wall(), QStringLiteral("Live"));
    EXPECT_EQ(form->ReplaySlider->value(), form->ReplaySlider->maximum());
    EXPECT_TRUE(form->ColumnBox->isEnabled());

    // End, from anywhere in the window.
    ASSERT_TRUE(form->ReplayAt(m.changed - 1));
    EXPECT_FALSE(form->ColumnBox->isEnabled()) << "the history keeps the status column only";
    form->activateWindow();
    form->TileView->setFocus();
    QTest::keyClick(form->TileView, Qt::Key_End);
    EXPECT_FALSE(form->Replaying());
    ExpectBoard(rig->Wall(), QStringLiteral("Live"));
}

TEST_F(OverviewReplayTest, TheSliderStepsASecondAPositionAndItsEndIsLive)
{
    const Moments m = Journal();
    OpenForm();
    form->SetHistoryFile(QStringLiteral("history.sqlite3"));
    HistoryReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open("history.sqlite3", error)) << error;
    int64_t first = 0;
    int64_t last = 0;
    ASSERT_TRUE(reader.Span(first, last));
    QSlider* slider = form->ReplaySlider;
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->maximum(), int((last - first) / 1000) + 1);

    for (const int64_t t : {m.first + 2000, m.changed + 1000, m.back + 3000}) {
        const int position = int((t - first) / 1000);
        slider->setValue(position);
        ASSERT_TRUE(form->Replaying());
        EXPECT_EQ(form->Replay()->at, first + int64_t(position) * 1000);
        ExpectBoard(form->Replay()->at, ReplayText(form->Replay()->at));
    }
    slider->setValue(slider->maximum());
    EXPECT_FALSE(form->Replaying());
    EXPECT_EQ(form->ReplayLab->text(), QStringLiteral("Live"));
}

TEST_F(OverviewReplayTest, TheThresholdOutlinesWhatWasStuckAtTheMoment)
{
    const Moments m = Journal();
    // The span goes on past a minute after the start.
    rig->Advance(60s);
    Change(0, 2);
    ASSERT_TRUE(rig->Flush());
    OpenForm();
    form->ThresholdBox->setCurrentIndex(form->ThresholdBox->findData(1));
    form->SetHistoryFile(QStringLiteral("history.sqlite3"));
    const int64_t t = m.first + 65'000;
    ASSERT_TRUE(form->ReplayAt(t));
    const QImage image = Grab();
    // 65 s in: lines 3 and 4 changed 55 s before, line 5 24 s before; the rest held their status
    // from the start, the link's 20 s down included (the board kept its times in state then).
    for (int line = 0; line < kLines; ++line) {
        const QRect r = form->TileView->TileRectOf(line);
        const bool stuck = line < 3 || line > 5;
        EXPECT_EQ(image.pixelColor(r.left(), r.center().y()) == TTilePainter::MarkOuterColor(), stuck) << line;
    }
    EXPECT_EQ(form->LongerLab->text(), QStringLiteral("Unchanged for more than 1 min: %1").arg(kLines - 3));
}

// The README's picture: a 2048-line board replayed, written where QUORVANE_REPLAY_PICTURE says.
TEST_F(OverviewReplayTest, ABusyBoardReplaysWhole)
{
    constexpr int kBig = 2048;
    std::mt19937 next(7);
    std::vector<int> statuses(kBig);
    for (int& s : statuses)
        s = int(next() % 5);
    Board(statuses);
    for (int i = 0; i < 600; ++i) {
        rig->Advance(std::chrono::milliseconds(200 + next() % 800));
        Change(int(next() % kBig), int(next() % 5));
    }
    ASSERT_TRUE(rig->Flush());
    const int64_t t = rig->Wall() - 90'000;
    for (int i = 0; i < 40; ++i) {
        rig->Advance(1s);
        Change(int(next() % kBig), int(next() % 5));
    }
    ASSERT_TRUE(rig->Flush());

    OpenForm(QSize(1280, 720));
    form->SetHistoryFile(QStringLiteral("history.sqlite3"));
    ASSERT_TRUE(form->ReplayAt(t));
    ExpectBoard(t, ReplayText(t));
    // Outlined as the live board would be, and counted.
    form->ThresholdBox->setCurrentIndex(form->ThresholdBox->findData(1));
    ExpectBoard(t, ReplayText(t), 1);
    form->ThresholdBox->setCurrentIndex(form->ThresholdBox->findData(0));
    if (const char* path = std::getenv("QUORVANE_REPLAY_PICTURE")) {
        QApplication::processEvents();
        EXPECT_TRUE(form->grab().save(QString::fromLocal8Bit(path)));
    }
}

} // namespace
