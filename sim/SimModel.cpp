#include "sim/SimModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

// Distinct colours per status, so a glance at the grid (or a screenshot) tells them apart.
const StatusStyle kStatusStyles[kStatusCount] = {
    {2, 15}, // Idle: green on white
    {0, 14}, // Ringing: black on yellow
    {15, 1}, // Talking: white on blue
    {15, 4}, // Recording: white on red
    {0, 7},  // Hang-up: black on silver
};

namespace {

const SimTexts kTextsEn = {
    {"Idle", "Ringing", "Talking", "Recording", "Hang-up"},
    "Waiting for call",
    "Incoming ",
    "Playing ",
    "Recording ",
    "Call ended",
    "Lines ",
    {"Sales", "Support", "Billing", "Tech"},
};

const SimTexts kTextsZh = {
    {
        "\xBF\xD5\xCF\xD0", // 空闲
        "\xD5\xF1\xC1\xE5", // 振铃
        "\xCD\xA8\xBB\xB0", // 通话
        "\xC2\xBC\xD2\xF4", // 录音
        "\xB9\xD2\xBB\xFA", // 挂机
    },
    "\xB5\xC8\xB4\xFD\xC0\xB4\xB5\xE7", // 等待来电
    "\xC0\xB4\xB5\xE7 ",                // 来电
    "\xB7\xC5\xD2\xF4 ",                // 放音
    "\xC2\xBC\xD2\xF4 ",                // 录音
    "\xCD\xA8\xBB\xB0\xBD\xE1\xCA\xF8", // 通话结束
    "\xCF\xDF\xC2\xB7 ",                // 线路
    {
        "\xCF\xFA\xCA\xDB",                 // 销售
        "\xBF\xCD\xB7\xFE",                 // 客服
        "\xB2\xE9\xD1\xAF\xD3\xE0\xB6\xEE", // 查询余额
        "\xBC\xBC\xCA\xF5\xD6\xA7\xB3\xD6", // 技术支持
    },
};

const char* const kScripts[] = {"ivr_main.scr", "ivr_bank.scr", "ivr_survey.scr", "callback.scr", "voicemail.scr"};
const char* const kPrompts[] = {"welcome.wav", "menu_main.wav", "balance.wav", "transfer.wav", "goodbye.wav"};
constexpr int kScriptCount = sizeof(kScripts) / sizeof(kScripts[0]);
constexpr int kPromptCount = sizeof(kPrompts) / sizeof(kPrompts[0]);
constexpr size_t kMaxKeys = 12;

// A board starts part busy rather than all idle, so the first screen already shows every colour.
constexpr LineStatus kInitialMix[] = {LineStatus::Idle,    LineStatus::Idle,      LineStatus::Idle,
                                      LineStatus::Idle,    LineStatus::Ringing,   LineStatus::Talking,
                                      LineStatus::Talking, LineStatus::Recording, LineStatus::HangUp};

} // namespace

const SimTexts& TextsFor(SimLanguage language)
{
    return language == SimLanguage::Zh ? kTextsZh : kTextsEn;
}

SimModel::SimModel(int lineCount, SimLanguage language, uint64_t seed, SimHostile hostile)
    : lineCount_(lineCount), texts_(TextsFor(language)), hostile_(hostile), rng_(seed),
      lines_(static_cast<size_t>(lineCount)), cells_(static_cast<size_t>(lineCount) * 8),
      order_(static_cast<size_t>(lineCount))
{
    for (int i = 0; i < lineCount_; ++i) {
        LineState& line = lines_[static_cast<size_t>(i)];
        line.script = i % kScriptCount;
        line.queue = static_cast<int>(Random(4));
        line.calls = static_cast<int>(Random(40));
        const LineStatus start = kInitialMix[Random(sizeof(kInitialMix) / sizeof(kInitialMix[0]))];
        if (start != LineStatus::Idle) {
            // Walk there through the real transitions so keys and caller fit the status.
            line.status = LineStatus::Idle;
            while (line.status != start) {
                Advance(line);
                if (line.status == LineStatus::HangUp && start != LineStatus::HangUp) {
                    line.status = LineStatus::Idle;
                }
            }
        }
        Render(i, nullptr);
        order_[static_cast<size_t>(i)] = i;
    }
    summary_ = RenderSummary();
}

uint32_t SimModel::Random(uint32_t below)
{
    return static_cast<uint32_t>(rng_() % below);
}

void SimModel::Advance(LineState& line)
{
    const uint32_t roll = Random(100);
    switch (line.status) {
    case LineStatus::Idle: {
        line.status = LineStatus::Ringing;
        line.keys.clear();
        line.caller = "13" + std::to_string(100000000 + Random(900000000));
        if (roll < 20) {
            line.script = static_cast<int>(Random(kScriptCount));
        }
        line.queue = static_cast<int>(Random(4));
        break;
    }
    case LineStatus::Ringing:
        line.status = roll < 75 ? LineStatus::Talking : LineStatus::HangUp;
        line.prompt = 0;
        break;
    case LineStatus::Talking:
        if (roll < 55) {
            if (line.keys.size() >= kMaxKeys) {
                line.keys.clear();
            }
            line.keys.push_back("0123456789*#"[Random(12)]);
            line.prompt = static_cast<int>(1 + Random(kPromptCount - 1));
        } else if (roll < 75) {
            line.status = LineStatus::Recording;
            line.message = static_cast<int>(Random(10000));
        } else {
            line.status = LineStatus::HangUp;
        }
        break;
    case LineStatus::Recording:
        line.status = roll < 50 ? LineStatus::Talking : LineStatus::HangUp;
        line.prompt = kPromptCount - 1;
        break;
    case LineStatus::HangUp:
        line.status = LineStatus::Idle;
        line.caller.clear();
        line.keys.clear();
        ++line.calls;
        break;
    }
}

void SimModel::Render(int index, std::vector<int>* changed)
{
    const LineState& line = lines_[static_cast<size_t>(index)];
    const int status = static_cast<int>(line.status);
    std::string runInfo;
    switch (line.status) {
    case LineStatus::Idle:
        runInfo = texts_.waiting;
        break;
    case LineStatus::Ringing:
        runInfo = texts_.incoming + line.caller;
        break;
    case LineStatus::Talking:
        runInfo = texts_.playing + std::string(kPrompts[line.prompt]);
        break;
    case LineStatus::Recording: {
        char name[32];
        std::snprintf(name, sizeof name, "msg_%04d.wav", line.message);
        runInfo = texts_.recording + std::string(name);
        break;
    }
    case LineStatus::HangUp:
        runInfo = texts_.ended;
        break;
    }
    SimCell fresh[8] = {
        {std::to_string(index), 0, 7},
        {kScripts[line.script], 0, 15},
        {texts_.status[status], kStatusStyles[status].fore, kStatusStyles[status].back},
        {line.keys, 0, 15},
        {runInfo, 1, 15},
        {line.caller, 0, 15},
        {std::to_string(line.calls), 0, 15},
        {texts_.queues[line.queue], 0, 15},
    };
    if (hostile_ != SimHostile::Off) {
        for (int column = 0; column < 8; ++column)
            fresh[column].text = HostileText(hostile_, index, column, fresh[column].text);
    }
    for (int column = 0; column < 8; ++column) {
        SimCell& cell = cells_[static_cast<size_t>(index) * 8 + static_cast<size_t>(column)];
        if (!(cell == fresh[column])) {
            cell = fresh[column];
            if (changed) {
                changed->push_back(index * 8 + column);
            }
        }
    }
}

std::string SimModel::RenderSummary() const
{
    int counts[kStatusCount] = {};
    for (const LineState& line : lines_) {
        ++counts[static_cast<int>(line.status)];
    }
    std::string text = texts_.lines + std::to_string(lineCount_);
    for (int s = 0; s < kStatusCount; ++s) {
        text += " | ";
        text += texts_.status[s];
        text += ' ';
        text += std::to_string(counts[s]);
    }
    return hostile_ == SimHostile::Off ? text : HostileSummary(text);
}

SimChanges SimModel::Step(double changeRate)
{
    SimChanges changes;
    const double share = std::clamp(changeRate, 0.0, 1.0) * lineCount_;
    auto count = static_cast<int>(std::floor(share));
    // The fraction left over changes one more line now and then, so small boards still move.
    if (static_cast<double>(Random(1000000)) / 1e6 < share - count) {
        ++count;
    }
    count = std::min(count, lineCount_);
    for (int i = 0; i < count; ++i) {
        const auto pick = static_cast<size_t>(i) + Random(static_cast<uint32_t>(lineCount_ - i));
        std::swap(order_[static_cast<size_t>(i)], order_[pick]);
        const int index = order_[static_cast<size_t>(i)];
        Advance(lines_[static_cast<size_t>(index)]);
        Render(index, &changes.cells);
    }
    std::sort(changes.cells.begin(), changes.cells.end());
    std::string summary = RenderSummary();
    if (summary != summary_) {
        summary_ = std::move(summary);
        changes.summary = true;
    }
    return changes;
}
