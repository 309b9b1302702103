#pragma once
// The line overview: every line of the board as a small tile in the colours of one column's cell,
// beside a legend of counts per text. Opened with F2 or from the grid's context menu; follows the
// board at the main window's refresh tick. With a line history file, a time slider below the tiles
// replays the board as it was at a past moment.

#include "app/TileView.h"
#include "app/ToolWindow.h"
#include "board/OverviewPicture.h"
#include "history/HistoryReplay.h"
#include "link/AnswerWatch.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QShortcut;
class QSlider;
class TElidedLabel;

class TOverviewForm : public TToolWindow {
    Q_OBJECT
public:
    explicit TOverviewForm(QWidget* parent = nullptr);

    // Shows the window where it was last (the first time over its parent) and gives it the focus.
    void Open();
    // The refresh tick: reads the board and shows what changed. Never moves, raises or activates
    // the window.
    void RefreshOverview();

    int Column() const;
    int ThresholdMinutes() const;
    // The line's eight texts under the grid's headers and its time in state, from the board.
    QString LineToolTip(int line) const;
    // What the window says of old data, e.g. "Link down: data 2 min 5 s old", "Answer overdue
    // (waited 45 s): data 46 s old"; nothing while the data is fresh.
    static QString BoardAgeText(const TagBoardAge& age);

    // The line history file the slider replays; empty (the default) is no history: no slider. The
    // slider shows once the file can be read and holds a recording, and follows it as it grows.
    void SetHistoryFile(const QString& path);
    // Shows the board as it was at utcMs, put within the span the file keeps. False when the file
    // cannot be read; the window then stays as it was.
    bool ReplayAt(int64_t utcMs);
    // Back to the live board, as the Live button and End do.
    void ShowLive();
    bool Replaying() const { return replay_.has_value(); }
    // The moment shown and its picture while replaying.
    const std::optional<ReplayPicture>& Replay() const { return replay_; }

    TTileView* TileView = nullptr;
    QWidget* LegendPan = nullptr;
    QComboBox* ColumnBox = nullptr;
    QComboBox* ThresholdBox = nullptr;
    QLabel* AgeLab = nullptr;              // how old the data is, when it is old
    QLabel* TotalLab = nullptr;            // "Total 2048" or "no board yet"
    QLabel* LongerLab = nullptr;           // the stuck lines, with a threshold
    std::vector<TElidedLabel*> LegendLabs; // "Talking 412", most first, the text elided to the width
    std::vector<QLabel*> SwatchLabs;       // the colours beside them
    std::vector<TElidedLabel*> GapLabs;    // in a replay, "(link down) 12": the lines in each kind of gap
    std::vector<QLabel*> GapSwatchLabs;    // hatched, as their tiles
    QWidget* ReplayBar = nullptr;          // below the tiles, only with a readable history file
    QSlider* ReplaySlider = nullptr;       // the retained span; its end is the live board
    QLabel* ReplayLab = nullptr;           // "Live" or "Replay: 14:03:27"
    QPushButton* LiveButton = nullptr;

    // Why the line history stopped, shown under the totals; empty hides it.
    void SetHistoryText(const QString& text);
    QLabel* HistoryLab = nullptr; // made when there is first something to say

signals:
    void LineChosen(int line);

private:
    void ShowLegend(const std::optional<TagOverview>& o);
    void ShowHeaders();
    void SaveChoice(const char* name, int value);
    void RefreshHistory();
    bool OpenHistory();
    void LeaveReplay();
    bool ShowReplay(int64_t t);
    void DrawReplay(int64_t t);
    void ShowGapLegend();

    std::array<std::string, 8> headers_;
    std::string historyPath_; // UTF-8
    std::unique_ptr<HistoryReader> reader_;
    bool readerSawLog_ = false; // a write-ahead log lay beside the file when it was opened
    int64_t spanFirst_ = 0;
    int64_t spanLast_ = 0;
    ReplayScale scale_;
    std::optional<ReplayPicture> replay_;
    std::vector<HistorySpan> replayLines_;
    HistoryGap replayGap_ = HistoryGap::None;
    int replayShape_ = 0;   // tiles of a moment without a board
    int liveLineCount_ = 0; // of the last live picture: the shape of a replayed moment without a board
    QShortcut* liveKey_ = nullptr;
};
