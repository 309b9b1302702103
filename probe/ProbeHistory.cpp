#include "probe/ProbeHistory.h"

#include "common/SpanText.h"
#include "history/HistoryCsv.h"
#include "history/HistoryTime.h"
#include "platform/Utf8.h"
#include "probe/ProbeFormat.h"
#include "probe/ProbeText.h"

#include <algorithm>
#include <array>

namespace {

constexpr int kExitNoBoard = 1;

std::string Status(HistoryReader& reader, const HistorySpan& span)
{
    if (span.gap != HistoryGap::None)
        return {};
    const HistoryStateText* state = reader.State(span.state);
    return state ? GbkToUtf8(state->text) : std::string();
}

// A status for the terminal; a gap in brackets, so it is never taken for a status.
std::string Shown(HistoryReader& reader, const HistorySpan& span)
{
    if (span.gap != HistoryGap::None)
        return "(" + HistoryGapText(span) + ")";
    return TerminalSafe(Status(reader, span));
}

std::string Seconds(int64_t ms)
{
    return std::to_string(ms / 1000) + "." + std::to_string(1000 + ms % 1000).substr(1);
}

// Rows of columns, aligned; the last column is not padded.
template <size_t N> std::string Align(const std::vector<std::array<std::string, N>>& rows)
{
    std::array<int, N> widths{};
    for (const auto& row : rows) {
        for (size_t k = 0; k < N; ++k)
            widths[k] = std::max(widths[k], DisplayWidth(row[k]));
    }
    std::string out;
    for (const auto& row : rows) {
        std::string text;
        for (size_t k = 0; k < N; ++k) {
            if (k > 0)
                text += "  ";
            text += k + 1 < N ? PadTo(row[k], widths[k]) : row[k];
        }
        text.erase(text.find_last_not_of(' ') + 1);
        out += text + "\n";
    }
    return out;
}

std::string JsonSpan(HistoryReader& reader, const HistorySpan& span)
{
    std::string out;
    if (span.gap == HistoryGap::None) {
        const HistoryStateText* state = reader.State(span.state);
        out += "\"status\": " + JsonString(Status(reader, span)) + ", \"gap\": null";
        if (state)
            out += ", \"color\": \"" + ColorHex(state->fore) + "\", \"background\": \"" + ColorHex(state->back) + "\"";
    } else {
        out += "\"status\": null, \"gap\": " + JsonString(HistoryGapText(span));
    }
    return out;
}

} // namespace

std::string HistoryTable(HistoryReader& reader, int line, const std::vector<std::vector<HistorySpan>>& lines)
{
    if (line >= 0) {
        std::vector<std::array<std::string, 3>> rows{{"Time", "Status", "Lasted"}};
        for (const HistorySpan& span : lines.empty() ? std::vector<HistorySpan>{} : lines[0])
            rows.push_back({IsoLocalTimeMs(span.from), Shown(reader, span), SpanText((span.until - span.from) / 1000)});
        return Align(rows);
    }
    std::vector<std::array<std::string, 4>> rows{{"Time", "Line", "Status", "Lasted"}};
    for (size_t i = 0; i < lines.size(); ++i) {
        for (const HistorySpan& span : lines[i]) {
            if (span.gap == HistoryGap::NotOnBoard)
                continue;
            rows.push_back({IsoLocalTimeMs(span.from), std::to_string(i), Shown(reader, span),
                            SpanText((span.until - span.from) / 1000)});
        }
    }
    return Align(rows);
}

std::string HistoryJson(HistoryReader& reader, int line, int64_t from, int64_t until,
                        const std::vector<std::vector<HistorySpan>>& lines)
{
    std::string out = "{\"since\": " + JsonString(IsoLocalTimeMs(from)) +
                      ", \"until\": " + JsonString(IsoLocalTimeMs(until)) + ",\n \"changes\": [";
    bool first = true;
    for (size_t i = 0; i < lines.size(); ++i) {
        const int number = line >= 0 ? line : int(i);
        for (const HistorySpan& span : lines[i]) {
            if (span.gap == HistoryGap::NotOnBoard && line < 0)
                continue;
            out += first ? "\n  " : ",\n  ";
            first = false;
            out += "{\"time\": " + JsonString(IsoLocalTimeMs(span.from)) + ", \"line\": " + std::to_string(number) +
                   ", " + JsonSpan(reader, span) + ", \"seconds\": " + Seconds(span.until - span.from) + "}";
        }
    }
    out += first ? "]}\n" : "\n ]}\n";
    return out;
}

std::string HistoryAtTable(HistoryReader& reader, const std::vector<HistorySpan>& lines, int line)
{
    std::vector<std::array<std::string, 3>> rows{{"Line", "Status", "Since"}};
    for (size_t i = 0; i < lines.size(); ++i) {
        if (line < 0 || size_t(line) == i) {
            const HistorySpan& span = lines[i];
            rows.push_back({std::to_string(i), Shown(reader, span),
                            IsoLocalTimeMs(span.gap == HistoryGap::None ? span.since : span.from)});
        }
    }
    return Align(rows);
}

std::string HistoryAtJson(HistoryReader& reader, int64_t at, const std::vector<HistorySpan>& lines, int line)
{
    std::string out = "{\"at\": " + JsonString(IsoLocalTimeMs(at)) + ",\n \"lines\": [";
    bool first = true;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (line >= 0 && size_t(line) != i)
            continue;
        const HistorySpan& span = lines[i];
        out += first ? "\n  " : ",\n  ";
        first = false;
        out += "{\"line\": " + std::to_string(i) + ", " + JsonSpan(reader, span) +
               ", \"since\": " + JsonString(IsoLocalTimeMs(span.gap == HistoryGap::None ? span.since : span.from)) +
               "}";
    }
    out += first ? "]}\n" : "\n ]}\n";
    return out;
}

int RunHistoryProbe(const ProbeOptions& options, const ProbeIo& io)
{
    const auto fail = [&io](const std::string& reason) {
        io.err("quorvane-probe: " + reason + "\n");
        return kExitNoBoard;
    };
    HistoryReader reader;
    std::string error;
    if (!reader.Open(options.history, error))
        return fail(error);
    int64_t first = 0;
    int64_t last = 0;
    if (!reader.Span(first, last))
        return fail(reader.Error().empty() ? options.history + ": no history recorded yet" : reader.Error());

    if (options.at) {
        std::vector<HistorySpan> lines;
        HistoryGap gap = HistoryGap::None;
        if (!reader.BoardAt(*options.at, lines, gap))
            return fail(reader.Error());
        if (lines.empty()) {
            HistorySpan why;
            why.gap = gap;
            return fail("no board at " + IsoLocalTimeMs(*options.at) + ": " + HistoryGapText(why));
        }
        if (options.line >= int(lines.size()))
            return fail("the board at " + IsoLocalTimeMs(*options.at) + " had " + std::to_string(lines.size()) +
                        " lines");
        switch (options.format) {
        case ProbeFormat::Csv:
            io.out(HistoryAtCsv(reader, lines, options.line));
            return 0;
        case ProbeFormat::Json:
            io.out(HistoryAtJson(reader, *options.at, lines, options.line));
            return 0;
        case ProbeFormat::Table:
        case ProbeFormat::Prometheus:
            break;
        }
        io.out(HistoryAtTable(reader, lines, options.line));
        return 0;
    }

    const int64_t from = options.since.value_or(first);
    const int64_t until = options.until.value_or(last);
    if (options.format == ProbeFormat::Csv) {
        // Line by line as it is read: a week of every line is long.
        if (!HistoryCsv(
                reader, options.line, from, until,
                [&io](std::string_view s) {
                    io.out(s);
                    return true;
                },
                error))
            return fail(error);
        return 0;
    }
    std::vector<std::vector<HistorySpan>> lines;
    const int begin = options.line >= 0 ? options.line : 0;
    const int end = options.line >= 0 ? options.line + 1 : reader.LineCount(from, until);
    for (int i = begin; i < end; ++i) {
        if (!reader.LineSpans(i, from, until, lines.emplace_back()))
            return fail(reader.Error());
    }
    io.out(options.format == ProbeFormat::Json ? HistoryJson(reader, options.line, from, until, lines)
                                               : HistoryTable(reader, options.line, lines));
    return 0;
}
