#include "board/BoardCsv.h"

#include "board/GridMap.h"
#include "board/TableText.h"
#include "platform/Utf8.h"
#include "settings/Config.h"
#include "settings/EventLog.h"

#include <cstdlib>

namespace {

std::chrono::sys_days CivilDay(const std::tm& t)
{
    using namespace std::chrono;
    return sys_days{year{t.tm_year + 1900} / month{unsigned(t.tm_mon + 1)} / day{unsigned(t.tm_mday)}};
}

// Seconds east of UTC of the local time at t: the local and the UTC broken-down times compared.
long OffsetAt(std::time_t t, std::tm& local)
{
    std::tm utc{};
#ifdef _WIN32
    localtime_s(&local, &t);
    gmtime_s(&utc, &t);
#else
    localtime_r(&t, &local);
    gmtime_r(&t, &utc);
#endif
    const auto days = (CivilDay(local) - CivilDay(utc)).count();
    return long(days) * 86400 + (local.tm_hour - utc.tm_hour) * 3600L + (local.tm_min - utc.tm_min) * 60L +
           (local.tm_sec - utc.tm_sec);
}

void AppendRow(std::string& csv, const std::string* fields, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            csv += ',';
        csv += CsvField(fields[i]);
    }
    csv += "\r\n";
}

} // namespace

TagCsvClock CsvClockNow(const TagMonitor& board)
{
    return {board.Clock(), std::chrono::system_clock::now()};
}

std::string CsvField(std::string_view text)
{
    std::string field = SpreadsheetText(text);
    if (field.find_first_of(",\"\r\n") == std::string::npos)
        return field;
    std::string out = "\"";
    for (char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string IsoTime(const std::tm& local, long utcOffsetSeconds)
{
    const char sign = utcOffsetSeconds < 0 ? '-' : '+';
    const long minutes = std::labs(utcOffsetSeconds) / 60;
    return Format("%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                  local.tm_hour, local.tm_min, local.tm_sec, sign, minutes / 60, minutes % 60);
}

std::string IsoLocalTime(std::chrono::system_clock::time_point t)
{
    const auto seconds = std::chrono::floor<std::chrono::seconds>(t.time_since_epoch()).count();
    std::tm local{};
    const long offset = OffsetAt(std::time_t(seconds), local);
    return IsoTime(local, offset);
}

std::string BoardCsv(const TagMonitor& board, const TagRunCfg& cfg, const TagCsvClock& at, int statusColumn,
                     CsvStart start)
{
    constexpr size_t kFields = kColsPerLine + 2;
    std::string fields[kFields];
    const std::array<std::string, 8> headers = HeaderTexts(cfg);
    for (int k = 0; k < kColsPerLine; ++k)
        fields[k] = WithoutControls(GbkToUtf8(headers[size_t(k)]));
    fields[kColsPerLine] = kCsvStatusSince;
    fields[kColsPerLine + 1] = kCsvSecondsInStatus;

    std::string csv;
    // A status or run-information text is short: about 24 bytes a field is enough to write a
    // board without growing the text again and again.
    csv.reserve(size_t(board.LineCount + 1) * kFields * 24);
    if (start == CsvStart::ByteOrderMark)
        csv += kUtf8ByteOrderMark;
    AppendRow(csv, fields, kFields);

    const bool hasStatus = statusColumn >= 0 && statusColumn < kColsPerLine;
    for (int i = 0; i < board.LineCount; ++i) {
        const TagLineRec& row = board.Rows[size_t(i)];
        for (int k = 0; k < kColsPerLine; ++k)
            fields[k] = WithoutControls(GbkToUtf8(row.Cols[k].Text));
        fields[kColsPerLine].clear();
        fields[kColsPerLine + 1].clear();
        if (hasStatus) {
            // A clock that stepped back (or a cell written after the moment asked for) reads as
            // "just now", never as a negative time.
            auto inState = at.Now - row.Cols[statusColumn].Since;
            if (inState < BoardTime::duration::zero())
                inState = BoardTime::duration::zero();
            const auto wholeSeconds = std::chrono::floor<std::chrono::seconds>(inState);
            fields[kColsPerLine] =
                IsoLocalTime(at.WallNow - std::chrono::duration_cast<std::chrono::system_clock::duration>(inState));
            fields[kColsPerLine + 1] = std::to_string(wholeSeconds.count());
        }
        AppendRow(csv, fields, kFields);
    }
    return csv;
}
