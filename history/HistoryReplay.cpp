#include "history/HistoryReplay.h"

#include "board/BoardCsv.h"
#include "common/SpanText.h"
#include "history/HistoryCsv.h"
#include "platform/Utf8.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <string_view>
#include <unordered_map>

ReplayScale ReplayScale::Over(int64_t first, int64_t last)
{
    ReplayScale s;
    s.first = first;
    const int64_t length = std::max<int64_t>(0, last - first);
    // Steps of whole seconds, as long as it takes for the positions to stay within an int.
    const int64_t shortest = (length + kReplayMaxPositions - 2) / (kReplayMaxPositions - 1);
    s.step = std::max<int64_t>(1, (shortest + kReplayStepMs - 1) / kReplayStepMs) * kReplayStepMs;
    // Every moment of [first, last] has a position before the live one.
    s.end = int(length / s.step) + 1;
    return s;
}

int64_t ReplayScale::TimeAt(int position) const
{
    return first + int64_t(std::clamp(position, 0, end - 1)) * step;
}

int ReplayScale::PositionOf(int64_t t) const
{
    if (t <= first)
        return 0;
    return int(std::min<int64_t>((t - first) / step, end - 1));
}

std::string ReplayClockText(int64_t utcMs)
{
    using namespace std::chrono;
    const sys_time<milliseconds> t{milliseconds(utcMs)};
    // "2026-12-09T14:03:27+08:00": the clock is the 8 characters after the T.
    return IsoLocalTime(time_point_cast<system_clock::duration>(floor<seconds>(t))).substr(11, 8);
}

std::string ReplayLabelText(int64_t utcMs)
{
    return "Replay: " + ReplayClockText(utcMs);
}

std::string ReplayGapName(HistoryGap gap)
{
    switch (gap) {
    case HistoryGap::None:
        return {};
    case HistoryGap::NotRecorded:
        return "(changes not recorded)";
    default: {
        HistorySpan span;
        span.gap = gap;
        return "(" + HistoryGapText(span) + ")";
    }
    }
}

namespace {

const HistoryStateText kBlank{};

struct TextGroup {
    std::string_view text;
    int lines = 0;
    int longer = 0;
    int firstLine = 0;
    const HistoryStateText* colours = nullptr;
};

} // namespace

ReplayPicture TakeReplay(const std::vector<HistorySpan>& lines, HistoryGap boardGap, int lineCount, int64_t t,
                         int thresholdMinutes, const ReplayStateOf& stateOf, size_t legendTexts)
{
    ReplayPicture p;
    p.at = t;
    TagOverview& o = p.overview;
    o.Column = 2;
    o.ThresholdMinutes = OverviewThreshold(thresholdMinutes);
    const int64_t over = int64_t(o.ThresholdMinutes) * 60'000;
    std::array<int, size_t(HistoryGap::NotRetained) + 1> gaps{};

    if (lines.empty()) {
        const int n = std::max(0, lineCount);
        const HistoryGap gap = boardGap == HistoryGap::None ? HistoryGap::NoBoard : boardGap;
        o.Tiles.assign(size_t(n), TagOverviewTile{kReplayGapFore, kReplayGapBack, false, true});
        gaps[size_t(gap)] = n;
        o.Total = n;
    } else {
        o.Tiles.resize(lines.size());
        o.Total = int(lines.size());
        // A status repeats on many lines: look each state up once.
        std::unordered_map<int64_t, const HistoryStateText*> states;
        std::unordered_map<std::string_view, size_t> byText;
        std::vector<TextGroup> groups;
        for (size_t i = 0; i < lines.size(); ++i) {
            const HistorySpan& span = lines[i];
            if (span.gap != HistoryGap::None) {
                o.Tiles[i] = {kReplayGapFore, kReplayGapBack, false, true};
                ++gaps[size_t(span.gap)];
                continue;
            }
            auto found = states.find(span.state);
            if (found == states.end()) {
                const HistoryStateText* s = span.state == kEmptyState || !stateOf ? nullptr : stateOf(span.state);
                found = states.emplace(span.state, s ? s : &kBlank).first;
            }
            const HistoryStateText& s = *found->second;
            const bool stuck = over > 0 && t - span.since > over;
            o.Tiles[i] = {TColor(s.fore), TColor(s.back), stuck, false};
            o.Longer += stuck ? 1 : 0;
            auto [at, fresh] = byText.emplace(std::string_view(s.text), groups.size());
            if (fresh)
                groups.push_back({s.text, 0, 0, int(i), &s});
            TextGroup& g = groups[at->second];
            ++g.lines;
            g.longer += stuck ? 1 : 0;
        }
        // Most lines first, ties in byte order: the live legend's order.
        std::sort(groups.begin(), groups.end(), [](const TextGroup& a, const TextGroup& b) {
            return a.lines != b.lines ? a.lines > b.lines : a.text < b.text;
        });
        const size_t named = groups.size() <= legendTexts + 1 ? groups.size() : legendTexts;
        for (size_t g = 0; g < named; ++g) {
            const TextGroup& e = groups[g];
            o.Legend.push_back(
                {std::string(e.text), e.lines, e.longer, TColor(e.colours->fore), TColor(e.colours->back), 0});
        }
        if (named < groups.size()) {
            TagLegendEntry rest;
            for (size_t g = named; g < groups.size(); ++g) {
                rest.Lines += groups[g].lines;
                rest.Longer += groups[g].longer;
                ++rest.OtherTexts;
            }
            o.Legend.push_back(std::move(rest));
        }
    }
    for (size_t k = 0; k < gaps.size(); ++k) {
        if (gaps[k] > 0)
            p.gaps.push_back({HistoryGap(k), gaps[k]});
    }
    return p;
}

std::string ReplayLineTip(int line, const HistorySpan& span, const HistoryStateText* state, int64_t t)
{
    std::string what;
    if (span.gap != HistoryGap::None)
        what = "(" + HistoryGapText(span) + ")";
    else // a tooltip shows 2,000 characters at most; a status longer than that is cut anyway
        what = CutToChars(GbkToUtf8(std::string_view(state ? state->text : std::string()).substr(0, 402)), 200);
    const int64_t since = span.gap == HistoryGap::None ? span.since : span.from;
    const int64_t seconds = std::max<int64_t>(0, (t - since) / 1000);
    return "Line " + std::to_string(line) + ": " + what + " for " + SpanText(seconds) + "\n" + ReplayLabelText(t);
}
