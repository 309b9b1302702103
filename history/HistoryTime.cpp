#include "history/HistoryTime.h"

#include "board/BoardCsv.h"

#include <chrono>

namespace {

bool Digits(std::string_view text, size_t& pos, size_t count, int& value)
{
    if (pos + count > text.size())
        return false;
    value = 0;
    for (size_t i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    pos += count;
    return true;
}

bool Take(std::string_view text, size_t& pos, char c)
{
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

} // namespace

bool ParseIsoTime(std::string_view text, int64_t& utcMs)
{
    using namespace std::chrono;
    size_t pos = 0;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!Digits(text, pos, 4, y) || !Take(text, pos, '-') || !Digits(text, pos, 2, mo) || !Take(text, pos, '-') ||
        !Digits(text, pos, 2, d))
        return false;
    if (!Take(text, pos, 'T') && !Take(text, pos, 't') && !Take(text, pos, ' '))
        return false;
    if (!Digits(text, pos, 2, h) || !Take(text, pos, ':') || !Digits(text, pos, 2, mi))
        return false;
    int64_t ms = 0;
    if (Take(text, pos, ':')) {
        if (!Digits(text, pos, 2, s))
            return false;
        if (Take(text, pos, '.') || Take(text, pos, ',')) {
            int scale = 100;
            const size_t start = pos;
            while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
                ms += int64_t(text[pos] - '0') * scale;
                scale /= 10;
                ++pos;
            }
            if (pos == start)
                return false;
        }
    }
    const year_month_day date{year{y}, month{unsigned(mo)}, day{unsigned(d)}};
    if (!date.ok() || h > 23 || mi > 59 || s > 59)
        return false;

    int offsetMinutes = 0;
    if (!Take(text, pos, 'Z') && !Take(text, pos, 'z')) {
        int sign = 0;
        if (Take(text, pos, '+'))
            sign = 1;
        else if (Take(text, pos, '-'))
            sign = -1;
        int oh = 0, om = 0;
        if (sign == 0 || !Digits(text, pos, 2, oh))
            return false;
        Take(text, pos, ':');
        if (!Digits(text, pos, 2, om) || oh > 23 || om > 59)
            return false;
        offsetMinutes = sign * (oh * 60 + om);
    }
    if (pos != text.size())
        return false;
    const auto local = sys_days(date) + hours(h) + minutes(mi) + seconds(s) + milliseconds(ms);
    utcMs = duration_cast<milliseconds>((local - minutes(offsetMinutes)).time_since_epoch()).count();
    return true;
}

std::string IsoLocalTimeMs(int64_t utcMs)
{
    using namespace std::chrono;
    const sys_time<milliseconds> t{milliseconds(utcMs)};
    const auto whole = floor<seconds>(t);
    std::string text = IsoLocalTime(time_point_cast<system_clock::duration>(whole));
    const auto ms = (t - whole).count();
    // "2026-12-09T14:03:27" is 19 characters; the fraction goes before the offset.
    const char fraction[5] = {'.', char('0' + ms / 100), char('0' + ms / 10 % 10), char('0' + ms % 10), '\0'};
    text.insert(19, fraction);
    return text;
}
