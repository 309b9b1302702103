#pragma once
// The simulated telephony platform: a number of lines that ring, talk, record and hang up, shown as
// eight coloured text cells each and a summary text for the top panel.

#include "sim/SimHostile.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

enum class SimLanguage { En, Zh };

enum class LineStatus : uint8_t { Idle, Ringing, Talking, Recording, HangUp };
inline constexpr int kStatusCount = 5;

// Palette indexes of a status cell.
struct StatusStyle {
    int8_t fore;
    int8_t back;
};
extern const StatusStyle kStatusStyles[kStatusCount];

// The words the simulator sends; Chinese ones are GBK bytes.
struct SimTexts {
    const char* status[kStatusCount];
    const char* waiting;   // run info of an idle line
    const char* incoming;  // run info while ringing, before the caller's number
    const char* playing;   // run info while talking, before the prompt's file name
    const char* recording; // run info while recording, before the message's file name
    const char* ended;     // run info after hang-up
    const char* lines;     // summary, before the line count
    const char* queues[4]; // third user column
};
const SimTexts& TextsFor(SimLanguage language);

struct SimCell {
    std::string text;
    int8_t fore = 0;
    int8_t back = 15;
    bool operator==(const SimCell&) const = default;
};

// What one step changed: cell indexes (line * 8 + column) and whether the summary text changed.
struct SimChanges {
    std::vector<int> cells;
    bool summary = false;
};

class SimModel {
public:
    // hostile: what the cells show in place of the plain texts (SimHostile.h); the lines move the same.
    SimModel(int lineCount, SimLanguage language, uint64_t seed, SimHostile hostile = SimHostile::Off);

    int LineCount() const { return lineCount_; }
    int CellCount() const { return lineCount_ * 8; }
    const SimCell& Cell(int index) const { return cells_[static_cast<size_t>(index)]; }
    const SimCell& Cell(int line, int column) const { return Cell(line * 8 + column); }
    const std::string& Summary() const { return summary_; }
    LineStatus Status(int line) const { return lines_[static_cast<size_t>(line)].status; }

    // Moves a share changeRate (0 to 1) of the lines, picked at random, on by one state each.
    SimChanges Step(double changeRate);

private:
    struct LineState {
        LineStatus status = LineStatus::Idle;
        int script = 0;
        std::string keys;
        std::string caller;
        int prompt = 0;
        int message = 0;
        int calls = 0;
        int queue = 0;
    };

    void Advance(LineState& line);
    void Render(int index, std::vector<int>* changed);
    std::string RenderSummary() const;
    uint32_t Random(uint32_t below);

    int lineCount_;
    const SimTexts& texts_;
    SimHostile hostile_;
    std::mt19937_64 rng_;
    std::vector<LineState> lines_;
    std::vector<SimCell> cells_;
    std::string summary_;
    std::vector<int> order_; // scratch for picking distinct lines
};
