#pragma once
// The line overview: every line of the board as a small tile in the colours of one column's cell,
// beside a legend of counts per text. Opened with F2 or from the grid's context menu; follows the
// board at the main window's refresh tick.

#include "app/TileView.h"
#include "app/ToolWindow.h"
#include "board/OverviewPicture.h"
#include "link/AnswerWatch.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
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

    TTileView* TileView = nullptr;
    QWidget* LegendPan = nullptr;
    QComboBox* ColumnBox = nullptr;
    QComboBox* ThresholdBox = nullptr;
    QLabel* AgeLab = nullptr;              // how old the data is, when it is old
    QLabel* TotalLab = nullptr;            // "Total 2048" or "no board yet"
    QLabel* LongerLab = nullptr;           // the stuck lines, with a threshold
    std::vector<TElidedLabel*> LegendLabs; // "Talking 412", most first, the text elided to the width
    std::vector<QLabel*> SwatchLabs;       // the colours beside them

    // The replay reads the history file (empty while history is off).
    void SetHistoryFile(const QString&) {}
    // Why the line history stopped, shown under the totals; empty hides it.
    void SetHistoryText(const QString& text);
    QLabel* HistoryLab = nullptr; // made when there is first something to say

signals:
    void LineChosen(int line);

private:
    void ShowLegend(const std::optional<TagOverview>& o);
    void ShowHeaders();
    void SaveChoice(const char* name, int value);

    std::array<std::string, 8> headers_;
};
