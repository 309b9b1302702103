#include "history/HistoryView.h"

#include "history/HistoryCsv.h"
#include "platform/System.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

constexpr int64_t kMinuteMs = int64_t(60) * 1000;
constexpr int64_t kHourMs = 60 * kMinuteMs;
constexpr int64_t kDayMs = 24 * kHourMs;

constexpr std::array<int64_t, 11> kSteps{kMinuteMs,      5 * kMinuteMs, 10 * kMinuteMs, 15 * kMinuteMs,
                                         30 * kMinuteMs, kHourMs,       2 * kHourMs,    3 * kHourMs,
                                         6 * kHourMs,    12 * kHourMs,  kDayMs};

int64_t FloorDiv(int64_t a, int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

int XOf(int64_t t, int64_t from, int64_t until, int width)
{
    if (t <= from)
        return 0;
    if (t >= until)
        return width;
    const long double share = static_cast<long double>(t - from) / static_cast<long double>(until - from);
    return std::clamp(int(share * width + 0.5L), 0, width);
}

struct Civil {
    int year, month, day, hour, minute, second;
};

Civil CivilOf(int64_t localMs)
{
    using namespace std::chrono;
    const int64_t days = FloorDiv(localMs, kDayMs);
    const int64_t inDay = localMs - days * kDayMs;
    const year_month_day ymd{sys_days{std::chrono::days{days}}};
    return {int(ymd.year()),      int(unsigned(ymd.month())),  int(unsigned(ymd.day())),
            int(inDay / kHourMs), int(inDay / kMinuteMs % 60), int(inDay / 1000 % 60)};
}

} // namespace

int64_t LocalOffsetMs(int64_t utcMs)
{
    using namespace std::chrono;
    const std::time_t t = std::time_t(FloorDiv(utcMs, 1000));
    const std::tm local = LocalTime(t);
    const sys_days day{year{local.tm_year + 1900} / month{unsigned(local.tm_mon + 1)} /
                       std::chrono::day{unsigned(local.tm_mday)}};
    const int64_t localSeconds = int64_t(day.time_since_epoch().count()) * 86400 + int64_t(local.tm_hour) * 3600 +
                                 int64_t(local.tm_min) * 60 + local.tm_sec;
    return (localSeconds - int64_t(t)) * 1000;
}

std::vector<HistoryTimeMark> HistoryTimeMarks(int64_t from, int64_t until, int width, int minSpacing,
                                              const LocalOffsetFn& offset)
{
    std::vector<HistoryTimeMark> marks;
    if (until <= from || width <= 0)
        return marks;
    const long double msPerPixel = static_cast<long double>(until - from) / width;
    int64_t step = kSteps.back();
    for (int64_t s : kSteps) {
        if (static_cast<long double>(s) / msPerPixel >= minSpacing) {
            step = s;
            break;
        }
    }
    const int64_t off = offset(from);
    const int64_t firstLocal = FloorDiv(from + off + step - 1, step) * step;
    for (int64_t local = firstLocal; local - off < until; local += step) {
        // The offset of the mark's own moment: a mark after a change of summer time stays on the hour.
        const int64_t t = local - offset(local - off);
        if (t < from || t >= until)
            continue;
        const Civil c = CivilOf(t + offset(t));
        char label[16];
        if (c.hour == 0 && c.minute == 0)
            std::snprintf(label, sizeof label, "%02d-%02d", c.month, c.day);
        else
            std::snprintf(label, sizeof label, "%02d:%02d", c.hour, c.minute);
        marks.push_back({t, XOf(t, from, until, width), label});
    }
    return marks;
}

std::vector<HistoryStripPiece> HistoryStripPieces(const std::vector<HistorySpan>& spans, int64_t from, int64_t until,
                                                  int width)
{
    std::vector<HistoryStripPiece> pieces;
    if (until <= from || width <= 0)
        return pieces;
    int end = 0;
    for (size_t i = 0; i < spans.size(); ++i) {
        const HistorySpan& s = spans[i];
        if (s.until <= from || s.from >= until)
            continue;
        const int x0 = std::max(XOf(s.from, from, until, width), end);
        int x1 = XOf(s.until, from, until, width);
        if (s.gap != HistoryGap::None && x1 <= x0)
            x1 = std::min(x0 + 1, width);
        if (x1 <= x0)
            continue;
        pieces.push_back({x0, x1, i});
        end = x1;
    }
    return pieces;
}

int HistoryXOf(int64_t t, int64_t from, int64_t until, int width)
{
    return until > from && width > 0 ? XOf(t, from, until, width) : 0;
}

int HistoryPieceAt(const std::vector<HistoryStripPiece>& pieces, int x)
{
    for (const HistoryStripPiece& p : pieces)
        if (x >= p.x0 && x < p.x1)
            return int(p.span);
    return -1;
}

std::vector<HistoryRow> HistoryRows(const std::vector<HistorySpan>& spans, int64_t now)
{
    std::vector<HistoryRow> rows;
    // Newest first: the spans backwards.
    for (size_t k = spans.size(); k-- > 0;) {
        const HistorySpan& s = spans[k];
        if (s.until <= s.from)
            continue;
        HistoryRow row;
        // The span's own start when the state's is unknown (older than the file) or later.
        row.since = s.since > INT64_MIN && s.since < s.from ? s.since : s.from;
        row.until = s.until;
        row.current = s.until >= now;
        row.gap = s.gap;
        row.state = s.state;
        row.gapText = HistoryGapText(s);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string HistoryDurationText(int64_t ms)
{
    const int64_t s = std::max<int64_t>(ms, 0) / 1000;
    char text[48];
    if (s < 60)
        std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(s));
    else if (s < 3600)
        std::snprintf(text, sizeof text, "%lld min %lld s", static_cast<long long>(s / 60),
                      static_cast<long long>(s % 60));
    else if (s < 86400)
        std::snprintf(text, sizeof text, "%lld h %02lld min", static_cast<long long>(s / 3600),
                      static_cast<long long>(s / 60 % 60));
    else
        std::snprintf(text, sizeof text, "%lld d %lld h", static_cast<long long>(s / 86400),
                      static_cast<long long>(s / 3600 % 24));
    return text;
}

std::string HistoryMomentText(int64_t utcMs, const LocalOffsetFn& offset)
{
    const Civil c = CivilOf(utcMs + offset(utcMs));
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour, c.minute,
                  c.second);
    return text;
}
