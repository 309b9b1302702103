#include "app/OverviewForm.h"

#include "app/Design.h"
#include "app/ElidedLabel.h"
#include "app/TilePainter.h"

#include "board/Board.h"
#include "board/BoardRead.h"
#include "board/GridMap.h"
#include "board/qt/BoardColors.h"
#include "common/SpanText.h"
#include "history/HistoryReplay.h"
#include "link/AnswerWatch.h"
#include "link/Link.h"
#include "platform/Utf8.h"
#include "platform/Utf8Path.h"
#include "platform/qt/Gbk.h"
#include "settings/Config.h"
#include "settings/qt/Placement.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// Choices and geometry live in a group of their own beside the main window's placement.
const char kColumnKey[] = "Overview/Column";
const char kThresholdKey[] = "Overview/Threshold";
const char kGeometryKey[] = "Overview/Geometry";

// A wall screen's full board: 2048 tiles in 1280 x 720 are still 18 x 18 pixels beside the legend.
constexpr int kDefaultWidth = 1280;
constexpr int kDefaultHeight = 720;
constexpr int kLegendWidth = 200;

void SetText(QLabel* label, const QString& text)
{
    if (label->text() != text)
        label->setText(text);
}

QLabel* MakeLabel(const char* objectName, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(objectName));
    // The legend shows the server's texts: never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

} // namespace

TOverviewForm::TOverviewForm(QWidget* parent) : TToolWindow(kGeometryKey, QSize(kDefaultWidth, kDefaultHeight), parent)
{
    setObjectName(QStringLiteral("OverviewForm"));
    setWindowTitle(QStringLiteral("Line overview"));

    LegendPan = new QWidget(this);
    LegendPan->setObjectName(QStringLiteral("LegendPan"));
    LegendPan->setFixedWidth(kLegendWidth);
    auto* legend = new QVBoxLayout(LegendPan);
    legend->setContentsMargins(6, 6, 6, 6);

    ColumnBox = new QComboBox(LegendPan);
    ColumnBox->setObjectName(QStringLiteral("ColumnBox"));
    for (int k = 0; k < kColsPerLine; ++k)
        ColumnBox->addItem(QString(), k);
    auto* columnCaption = new QLabel(QStringLiteral("&Colour by column:"), LegendPan);
    columnCaption->setBuddy(ColumnBox);

    ThresholdBox = new QComboBox(LegendPan);
    ThresholdBox->setObjectName(QStringLiteral("ThresholdBox"));
    for (int minutes : kOverviewThresholds)
        ThresholdBox->addItem(minutes == 0 ? QStringLiteral("off") : QStringLiteral("%1 min").arg(minutes), minutes);
    auto* thresholdCaption = new QLabel(QStringLiteral("&Unchanged for more than:"), LegendPan);
    thresholdCaption->setBuddy(ThresholdBox);

    AgeLab = MakeLabel("AgeLab", LegendPan);
    QFont bold = AgeLab->font();
    bold.setBold(true);
    AgeLab->setFont(bold);
    QPalette agePalette = AgeLab->palette();
    agePalette.setColor(QPalette::WindowText, OverdueColor());
    AgeLab->setPalette(agePalette);
    AgeLab->hide();
    TotalLab = MakeLabel("TotalLab", LegendPan);
    TotalLab->setFont(bold);
    LongerLab = MakeLabel("LongerLab", LegendPan);
    LongerLab->hide();

    legend->addWidget(columnCaption);
    legend->addWidget(ColumnBox);
    legend->addWidget(thresholdCaption);
    legend->addWidget(ThresholdBox);
    legend->addSpacing(8);
    legend->addWidget(AgeLab);
    legend->addWidget(TotalLab);
    legend->addWidget(LongerLab);
    auto* entries = new QGridLayout();
    entries->setHorizontalSpacing(6);
    entries->setColumnStretch(1, 1);
    for (size_t i = 0; i <= kLegendTexts; ++i) {
        auto* swatch = new QLabel(LegendPan);
        swatch->setObjectName(QStringLiteral("SwatchLab%1").arg(i));
        swatch->setFixedSize(14, 14);
        swatch->setFrameStyle(QFrame::Box | QFrame::Plain);
        swatch->setAutoFillBackground(true);
        swatch->hide();
        auto* label = new TElidedLabel(LegendPan);
        label->setObjectName(QStringLiteral("LegendLab%1").arg(i));
        label->hide();
        entries->addWidget(swatch, int(i), 0, Qt::AlignTop);
        entries->addWidget(label, int(i), 1);
        SwatchLabs.push_back(swatch);
        LegendLabs.push_back(label);
    }
    legend->addLayout(entries);
    // A replay counts the lines it cannot vouch for apart, one entry per kind of gap.
    auto* gapEntries = new QGridLayout();
    gapEntries->setHorizontalSpacing(6);
    gapEntries->setColumnStretch(1, 1);
    const QPixmap hatch = QPixmap::fromImage(TTilePainter::HatchSwatch(ToQColor(kReplayGapBack), 12));
    for (int i = 0; i < int(HistoryGap::NotRetained); ++i) {
        auto* swatch = new QLabel(LegendPan);
        swatch->setObjectName(QStringLiteral("GapSwatchLab%1").arg(i));
        swatch->setFixedSize(14, 14);
        swatch->setFrameStyle(QFrame::Box | QFrame::Plain);
        swatch->setPixmap(hatch);
        swatch->hide();
        auto* label = new TElidedLabel(LegendPan);
        label->setObjectName(QStringLiteral("GapLab%1").arg(i));
        label->hide();
        gapEntries->addWidget(swatch, i, 0, Qt::AlignTop);
        gapEntries->addWidget(label, i, 1);
        GapSwatchLabs.push_back(swatch);
        GapLabs.push_back(label);
    }
    legend->addLayout(gapEntries);
    legend->addStretch(1);

    TileView = new TTileView(this);
    TileView->LineToolTip = [this](int line) { return LineToolTip(line); };

    // Hidden until a history file is set and holds a recording: without one the window is as it
    // always was.
    ReplayBar = new QWidget(this);
    ReplayBar->setObjectName(QStringLiteral("ReplayBar"));
    auto* bar = new QHBoxLayout(ReplayBar);
    bar->setContentsMargins(6, 3, 6, 3);
    ReplaySlider = new QSlider(Qt::Horizontal, ReplayBar);
    ReplaySlider->setObjectName(QStringLiteral("ReplaySlider"));
    ReplaySlider->setAccessibleName(QStringLiteral("Replay time"));
    ReplaySlider->setPageStep(60);
    ReplayLab = new QLabel(QStringLiteral("Live"), ReplayBar);
    ReplayLab->setObjectName(QStringLiteral("ReplayLab"));
    ReplayLab->setFont(bold);
    ReplayLab->setMinimumWidth(ReplayLab->fontMetrics().horizontalAdvance(QStringLiteral("Replay: 00:00:00")) + 4);
    LiveButton = new QPushButton(QStringLiteral("Live"), ReplayBar);
    LiveButton->setObjectName(QStringLiteral("LiveButton"));
    LiveButton->setToolTip(QStringLiteral("Back to the live board (End)"));
    LiveButton->setEnabled(false);
    bar->addWidget(ReplaySlider, 1);
    bar->addWidget(ReplayLab);
    bar->addWidget(LiveButton);
    ReplayBar->hide();
    liveKey_ = new QShortcut(QKeySequence(Qt::Key_End), this);
    liveKey_->setContext(Qt::WidgetWithChildrenShortcut);
    liveKey_->setEnabled(false);

    auto* right = new QVBoxLayout();
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    right->addWidget(TileView, 1);
    right->addWidget(ReplayBar);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(LegendPan);
    layout->addLayout(right, 1);

    // The operator's last choices; a store that cannot be opened leaves the defaults.
    int column = 2;
    int threshold = 0;
    if (std::unique_ptr<QSettings> store = OpenPlacementStore()) {
        bool ok = false;
        const int stored = store->value(QLatin1String(kColumnKey)).toInt(&ok);
        if (ok && stored >= 0 && stored < kColsPerLine)
            column = stored;
        threshold = OverviewThreshold(store->value(QLatin1String(kThresholdKey)).toInt());
    }
    ColumnBox->setCurrentIndex(column);
    ThresholdBox->setCurrentIndex(ThresholdBox->findData(threshold));
    ShowHeaders();
    ShowLegend(std::nullopt);

    connect(ColumnBox, &QComboBox::currentIndexChanged, this, [this] {
        SaveChoice(kColumnKey, Column());
        RefreshOverview();
    });
    connect(ThresholdBox, &QComboBox::currentIndexChanged, this, [this] {
        SaveChoice(kThresholdKey, ThresholdMinutes());
        if (replay_) // the same moment outlined anew: no need to read it again
            DrawReplay(replay_->at);
        else
            RefreshOverview();
    });
    connect(TileView, &TTileView::LineClicked, this, &TOverviewForm::LineChosen);
    connect(ReplaySlider, &QSlider::valueChanged, this, [this](int position) {
        if (scale_.IsLive(position))
            ShowLive();
        else
            ShowReplay(scale_.TimeAt(position));
    });
    connect(LiveButton, &QPushButton::clicked, this, &TOverviewForm::ShowLive);
    connect(liveKey_, &QShortcut::activated, this, &TOverviewForm::ShowLive);
}

int TOverviewForm::Column() const
{
    return ColumnBox->currentData().toInt();
}

int TOverviewForm::ThresholdMinutes() const
{
    return ThresholdBox->currentData().toInt();
}

void TOverviewForm::Open()
{
    PlaceOnce();
    RefreshOverview();
    show();
    raise();
    activateWindow();
}

void TOverviewForm::SaveChoice(const char* name, int value)
{
    if (std::unique_ptr<QSettings> store = OpenPlacementStore())
        store->setValue(QLatin1String(name), value);
}

void TOverviewForm::ShowHeaders()
{
    const std::array<std::string, 8> headers = HeaderTexts(CurConfig.Get());
    if (headers == headers_)
        return;
    headers_ = headers;
    for (int k = 0; k < kColsPerLine; ++k)
        ColumnBox->setItemText(k, FromGbk(headers_[size_t(k)]));
}

void TOverviewForm::RefreshOverview()
{
    ShowHeaders();
    RefreshHistory();
    // A replayed moment stays until the operator leaves it; the live board goes on meanwhile.
    if (replay_) {
        AgeLab->hide();
        return;
    }
    std::optional<TagOverview> next;
    const int column = Column();
    const int threshold = ThresholdMinutes();
    const BoardState state =
        ReadCurBoard([&](const TagMonitor& board) { next = TakeOverview(board, column, threshold, board.Clock()); });
    // A board being replaced: the last picture stays until the new one is laid out.
    if (state != BoardState::Replacing) {
        TileView->ShowOverview(std::move(next));
        ShowLegend(TileView->Shown());
        if (TileView->Shown())
            liveLineCount_ = int(TileView->Shown()->Tiles.size());
    }

    const int64_t now = SteadyMs();
    const QString age =
        CurLink ? BoardAgeText(BoardAgeOf(CurLink->connected.load(), WatchAnswer(*CurLink, now), now)) : QString();
    SetText(AgeLab, age);
    AgeLab->setVisible(!age.isEmpty());
}

void TOverviewForm::SetHistoryFile(const QString& path)
{
    const std::string next = path.toStdString();
    if (next == historyPath_)
        return;
    historyPath_ = next;
    reader_.reset();
    LeaveReplay();
    RefreshOverview();
}

bool TOverviewForm::OpenHistory()
{
    reader_.reset();
    // The journal makes the file, and may not have yet: nothing to read is no error.
    if (historyPath_.empty() || !ExistsUtf8(historyPath_))
        return false;
    auto reader = std::make_unique<HistoryReader>();
    const bool log = ExistsUtf8(historyPath_ + "-wal");
    std::string error;
    if (!reader->Open(historyPath_, error))
        return false;
    reader_ = std::move(reader);
    readerSawLog_ = log;
    return true;
}

// Cheap enough for every tick: a look for the write-ahead log and three small queries.
void TOverviewForm::RefreshHistory()
{
    // A file opened with no monitor writing it is read as it stood: when one starts (its log
    // appears) or ends, the file is opened again to see what it writes.
    if (reader_ && ExistsUtf8(historyPath_ + "-wal") != readerSawLog_)
        reader_.reset();
    bool reopened = false;
    if (!reader_) {
        if (!OpenHistory()) {
            LeaveReplay();
            ReplayBar->hide();
            return;
        }
        reopened = true;
    }
    int64_t first = 0;
    int64_t last = 0;
    bool recorded = reader_->Span(first, last);
    // What the file keeps moved on: the states it named may have gone with it.
    if (recorded && !reopened && first != spanFirst_) {
        recorded = OpenHistory() && reader_->Span(first, last);
    }
    if (!recorded) {
        if (reader_ && !reader_->Error().empty())
            reader_.reset();
        LeaveReplay();
        ReplayBar->hide();
        return;
    }
    spanFirst_ = first;
    spanLast_ = last;
    scale_ = ReplayScale::Over(first, last);
    {
        const QSignalBlocker quiet(ReplaySlider);
        ReplaySlider->setRange(0, scale_.end);
        ReplaySlider->setValue(replay_ ? scale_.PositionOf(replay_->at) : scale_.end);
    }
    ReplayBar->show();
}

bool TOverviewForm::ReplayAt(int64_t utcMs)
{
    RefreshHistory();
    if (!reader_)
        return false;
    return ShowReplay(std::clamp(utcMs, spanFirst_, spanLast_));
}

bool TOverviewForm::ShowReplay(int64_t t)
{
    if (!reader_)
        return false;
    HistoryGap gap = HistoryGap::None;
    if (!reader_->BoardAt(t, replayLines_, gap))
        return false;
    replayGap_ = gap;
    replayShape_ =
        replayLines_.empty() && liveLineCount_ == 0 ? reader_->LineCount(spanFirst_, spanLast_) : liveLineCount_;
    DrawReplay(t);
    return true;
}

// The moment's lines as read last, drawn with the window's choices.
void TOverviewForm::DrawReplay(int64_t t)
{
    replay_ = TakeReplay(replayLines_, replayGap_, replayShape_, t, ThresholdMinutes(),
                         [this](int64_t id) { return reader_ ? reader_->State(id) : nullptr; });
    {
        const QSignalBlocker quiet(ReplaySlider);
        ReplaySlider->setValue(scale_.PositionOf(t));
    }
    TileView->ShowOverview(replay_->overview);
    ShowLegend(replay_->overview);
    ShowGapLegend();
    SetText(ReplayLab, QString::fromStdString(ReplayLabelText(t)));
    LiveButton->setEnabled(true);
    liveKey_->setEnabled(true);
    // The history keeps the status column only.
    ColumnBox->setEnabled(false);
    AgeLab->hide();
}

void TOverviewForm::LeaveReplay()
{
    if (!replay_)
        return;
    replay_.reset();
    replayLines_.clear();
    SetText(ReplayLab, QStringLiteral("Live"));
    LiveButton->setEnabled(false);
    liveKey_->setEnabled(false);
    ColumnBox->setEnabled(true);
    ShowGapLegend();
    const QSignalBlocker quiet(ReplaySlider);
    ReplaySlider->setValue(ReplaySlider->maximum());
}

void TOverviewForm::ShowLive()
{
    LeaveReplay();
    RefreshOverview();
}

void TOverviewForm::ShowGapLegend()
{
    const std::vector<ReplayGapCount> none;
    const std::vector<ReplayGapCount>& gaps = replay_ ? replay_->gaps : none;
    for (size_t i = 0; i < GapLabs.size(); ++i) {
        if (i >= gaps.size()) {
            GapLabs[i]->hide();
            GapSwatchLabs[i]->hide();
            continue;
        }
        GapLabs[i]->SetTexts(QString::fromStdString(ReplayGapName(gaps[i].gap)),
                             QLatin1Char(' ') + QString::number(gaps[i].lines));
        GapLabs[i]->show();
        GapSwatchLabs[i]->show();
    }
}

QString TOverviewForm::BoardAgeText(const TagBoardAge& age)
{
    if (age.why == TagBoardAge::Why::Fresh)
        return QString();
    const QString data = age.ageSeconds < 0
                             ? QStringLiteral("no answer yet")
                             : QStringLiteral("data %1 old").arg(QString::fromStdString(SpanText(age.ageSeconds)));
    if (age.why == TagBoardAge::Why::LinkDown)
        return QStringLiteral("Link down: ") + data;
    return QStringLiteral("Answer overdue (waited %1): %2")
        .arg(QString::fromStdString(SpanText(age.waitedSeconds)), data);
}

void TOverviewForm::ShowLegend(const std::optional<TagOverview>& o)
{
    if (!o) {
        SetText(TotalLab, TTileView::EmptyText());
        LongerLab->hide();
        for (size_t i = 0; i < LegendLabs.size(); ++i) {
            LegendLabs[i]->hide();
            SwatchLabs[i]->hide();
        }
        return;
    }
    SetText(TotalLab, QStringLiteral("Total %1").arg(o->Total));
    if (o->ThresholdMinutes > 0) {
        SetText(LongerLab,
                QStringLiteral("Unchanged for more than %1 min: %2").arg(o->ThresholdMinutes).arg(o->Longer));
        LongerLab->show();
    } else {
        LongerLab->hide();
    }
    for (size_t i = 0; i < LegendLabs.size(); ++i) {
        if (i >= o->Legend.size()) {
            LegendLabs[i]->hide();
            SwatchLabs[i]->hide();
            continue;
        }
        const TagLegendEntry& e = o->Legend[i];
        QString name;
        if (e.OtherTexts > 0)
            name = QStringLiteral("%1 other texts").arg(e.OtherTexts);
        else if (e.Text.empty())
            name = QStringLiteral("(blank)");
        else // a text longer than this is cut for showing anyway: at most 2 bytes a character
            name = FromGbk(std::string_view(e.Text).substr(0, 2 * kTipChars + 2));
        QString count = QLatin1Char(' ') + QString::number(e.Lines);
        if (o->ThresholdMinutes > 0 && e.Longer > 0)
            count += QStringLiteral(", %1 unchanged").arg(e.Longer);
        LegendLabs[i]->SetTexts(name, count);
        LegendLabs[i]->show();
        // The gathered rest has no one colour.
        QLabel* swatch = SwatchLabs[i];
        const QColor back = e.OtherTexts > 0 ? palette().color(QPalette::Window) : ToQColor(e.BackColor);
        if (swatch->palette().color(QPalette::Window) != back) {
            QPalette pal = swatch->palette();
            pal.setColor(QPalette::Window, back);
            swatch->setPalette(pal);
        }
        swatch->show();
    }
}

QString TOverviewForm::LineToolTip(int line) const
{
    if (replay_) {
        if (line < 0 || line >= int(replay_->overview.Tiles.size()))
            return QString();
        if (size_t(line) >= replayLines_.size()) // no board at that moment
            return QStringLiteral("Line %1: %2\n%3")
                .arg(line)
                .arg(QString::fromStdString(ReplayGapName(replayGap_)),
                     QString::fromStdString(ReplayLabelText(replay_->at)));
        const HistorySpan& span = replayLines_[size_t(line)];
        const HistoryStateText* state =
            span.gap == HistoryGap::None && span.state != kEmptyState && reader_ ? reader_->State(span.state) : nullptr;
        return QString::fromStdString(ReplayLineTip(line, span, state, replay_->at));
    }
    const int column = Column();
    std::optional<TagOverviewLine> info;
    ReadCurBoard([&](const TagMonitor& board) { info = OverviewLine(board, line, column, board.Clock()); });
    if (!info)
        return QString();
    // Nine texts of up to 30,000 bytes each: each gets a tenth of what a tooltip shows. Only the
    // bytes that can reach it are decoded (at most two a character, one more to know it is cut).
    const auto cut = [](const std::string& gbk) {
        constexpr size_t kChars = kTipChars / 10;
        return QString::fromStdString(CutToChars(GbkToUtf8(std::string_view(gbk).substr(0, 2 * kChars + 2)), kChars));
    };
    QString text = QStringLiteral("Line %1: %2 for %3")
                       .arg(line)
                       .arg(cut(info->Texts[size_t(column)]), QString::fromStdString(SpanText(info->SecondsInState)));
    for (int k = 0; k < kColsPerLine; ++k)
        text += QLatin1Char('\n') + cut(headers_[size_t(k)]) + QStringLiteral(": ") + cut(info->Texts[size_t(k)]);
    return text;
}

void TOverviewForm::SetHistoryText(const QString& text)
{
    if (!HistoryLab) {
        if (text.isEmpty())
            return;
        HistoryLab = MakeLabel("HistoryLab", LegendPan);
        HistoryLab->setWordWrap(true);
        auto* legend = static_cast<QVBoxLayout*>(LegendPan->layout());
        legend->insertWidget(legend->indexOf(LongerLab) + 1, HistoryLab);
    }
    SetText(HistoryLab, text);
    HistoryLab->setVisible(!text.isEmpty());
}
