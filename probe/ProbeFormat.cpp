#include "probe/ProbeFormat.h"

#include "board/GridMap.h"
#include "board/StatusCounts.h"
#include "platform/Utf8.h"
#include "probe/ProbeText.h"
#include "settings/Config.h"
#include "settings/EventLog.h"

#include <algorithm>
#include <map>
#include <set>

namespace {

const char* const kStateNames[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};

// A text as a check shows it: one line, no '|' (it starts the performance data).
std::string CheckText(std::string_view utf8)
{
    std::string text = TerminalSafe(utf8);
    std::replace(text.begin(), text.end(), '|', '/');
    return text;
}

// A status's name in the check line: as CheckText, "(empty)" for an empty text, cut to its bound.
std::string CheckName(std::string_view utf8)
{
    if (utf8.empty())
        return "(empty)";
    return CutToChars(CheckText(utf8), kCheckNameChars);
}

// A label before quoting: the name without '=', which ends a label.
std::string PerfName(std::string_view utf8)
{
    std::string label = CheckName(utf8);
    std::replace(label.begin(), label.end(), '=', '_');
    return label;
}

std::string QuotedPerfLabel(const std::string& label)
{
    if (label.find_first_of(" '") == std::string::npos)
        return label;
    std::string quoted = "'";
    for (char c : label) {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    return quoted + "'";
}

// base, or base with the first suffix (" (2)", "_2", ...) that no name in taken has, cut so the
// whole stays within maxChars; the name chosen joins taken.
std::string UniqueName(const std::string& base, const char* before, const char* after, size_t maxChars,
                       std::set<std::string>& taken)
{
    std::string name = base;
    for (int n = 2; taken.contains(name); ++n) {
        const std::string suffix = before + std::to_string(n) + after;
        name = CutToChars(base, maxChars > suffix.size() ? maxChars - suffix.size() : 1) + suffix;
    }
    taken.insert(name);
    return name;
}

} // namespace

ProbeBoard TakeSnapshot(const TagMonitor& board, const TagRunCfg& cfg, const std::string& summaryGbk, int column,
                        const TagCsvClock& at)
{
    ProbeBoard snap;
    snap.lineCount = board.LineCount;
    snap.column = column;
    snap.summary = GbkToUtf8(summaryGbk);
    const std::array<std::string, 8> headers = HeaderTexts(cfg);
    for (int k = 0; k < kColsPerLine; ++k)
        snap.headers[size_t(k)] = GbkToUtf8(headers[size_t(k)]);
    snap.lines.resize(size_t(board.LineCount));
    snap.secondsInStatus.resize(size_t(board.LineCount));
    for (int i = 0; i < board.LineCount; ++i) {
        const TagLineRec& row = board.Rows[size_t(i)];
        for (int k = 0; k < kColsPerLine; ++k) {
            const TagLineCols& cell = row.Cols[k];
            snap.lines[size_t(i)][size_t(k)] = {GbkToUtf8(cell.Text), cell.ForeColor, cell.BackColor};
            snap.cellsReceived += cell.Changed ? 1 : 0;
        }
        const auto inState = at.Now - row.Cols[column].Since;
        snap.secondsInStatus[size_t(i)] =
            inState.count() < 0 ? 0 : std::chrono::floor<std::chrono::seconds>(inState).count();
    }

    std::map<std::string, size_t> byText;
    for (TagStatusCount& s : CountStatuses(board, column).Statuses) {
        std::string text = GbkToUtf8(s.Text);
        auto [it, fresh] = byText.try_emplace(text, snap.statuses.size());
        if (fresh)
            snap.statuses.push_back({std::move(text), {}, 0});
        ProbeStatus& merged = snap.statuses[it->second];
        merged.gbk.push_back(std::move(s.Text));
        merged.lines += s.Lines;
    }
    std::sort(snap.statuses.begin(), snap.statuses.end(), [](const ProbeStatus& a, const ProbeStatus& b) {
        return a.lines != b.lines ? a.lines > b.lines : a.text < b.text;
    });
    snap.csv = BoardCsv(board, cfg, at, column);
    return snap;
}

std::string ColorHex(TColor color)
{
    return Format("#%02X%02X%02X", unsigned(color & 0xFF), unsigned((color >> 8) & 0xFF),
                  unsigned((color >> 16) & 0xFF));
}

std::string FormatTable(const ProbeBoard& board)
{
    std::vector<std::array<std::string, 8>> rows;
    rows.reserve(board.lines.size() + 1);
    std::array<std::string, 8>& header = rows.emplace_back();
    for (size_t k = 0; k < 8; ++k)
        header[k] = TerminalSafe(CutToWidth(board.headers[k], kTableColumnWidth));
    for (const auto& line : board.lines) {
        std::array<std::string, 8>& row = rows.emplace_back();
        for (size_t k = 0; k < 8; ++k)
            row[k] = TerminalSafe(CutToWidth(line[k].text, kTableColumnWidth));
    }
    int widths[8] = {};
    for (const auto& row : rows) {
        for (size_t k = 0; k < 8; ++k)
            widths[k] = std::max(widths[k], DisplayWidth(row[k]));
    }

    std::string out;
    if (!board.summary.empty())
        out += TerminalSafe(CutToWidth(board.summary, kTableSummaryWidth)) + "\n";
    for (const auto& row : rows) {
        std::string text;
        for (size_t k = 0; k < 8; ++k) {
            if (k > 0)
                text += "  ";
            text += k + 1 < 8 ? PadTo(row[k], widths[k]) : row[k];
        }
        text.erase(text.find_last_not_of(' ') + 1);
        out += text + "\n";
    }
    return out;
}

std::string JsonString(std::string_view utf8)
{
    // Lossless: the controls a terminal would obey (C0, DEL, C1, the bidirectional overrides) are
    // escaped, so the document can be printed as it is and still carries every text exactly.
    std::string out = "\"";
    for (size_t i = 0; i < utf8.size();) {
        const char32_t c = NextCodePoint(utf8, i);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (IsSteering(c))
                out += Format("\\u%04x", unsigned(c));
            else
                AppendUtf8(out, c);
        }
    }
    out += '"';
    return out;
}

std::string FormatJson(const ProbeBoard& board)
{
    std::string out = "{\"lineCount\": " + std::to_string(board.lineCount);
    out += ", \"complete\": ";
    out += board.Complete() ? "true" : "false";
    out += ", \"answers\": " + std::to_string(board.answers);
    out += ", \"statusColumn\": " + std::to_string(board.column);
    out += ",\n \"summary\": " + JsonString(board.summary);
    out += ",\n \"headers\": [";
    for (size_t k = 0; k < 8; ++k)
        out += (k ? ", " : "") + JsonString(board.headers[k]);
    out += "],\n \"lines\": [";
    for (size_t i = 0; i < board.lines.size(); ++i) {
        out += i ? ",\n  " : "\n  ";
        out += "{\"line\": " + std::to_string(i) + ", \"secondsInStatus\": " + std::to_string(board.secondsInStatus[i]);
        out += ", \"cells\": [";
        for (size_t k = 0; k < 8; ++k) {
            const ProbeCell& cell = board.lines[i][k];
            out += k ? ", " : "";
            out += "{\"text\": " + JsonString(cell.text) + ", \"color\": \"" + ColorHex(cell.fore) +
                   "\", \"background\": \"" + ColorHex(cell.back) + "\"}";
        }
        out += "]}";
    }
    out += "\n ]}\n";
    return out;
}

std::string PrometheusLabelValue(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const char32_t c = NextCodePoint(utf8, i);
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            AppendUtf8(out, IsSteering(c) ? char32_t(0xFFFD) : c);
    }
    return out;
}

std::string FormatPrometheus(const ProbeRound& round)
{
    std::string out = "# HELP quorvane_link_up Whether the CTI server answered the probe: 1 it did, 0 it could not be "
                      "reached, sent no complete answer in time or an answer was refused.\n"
                      "# TYPE quorvane_link_up gauge\n";
    out += round.ok ? "quorvane_link_up 1\n" : "quorvane_link_up 0\n";
    if (!round.ok)
        return out;
    const ProbeBoard& board = round.board;
    out += "# HELP quorvane_lines Telephone lines the CTI server reports.\n"
           "# TYPE quorvane_lines gauge\n"
           "quorvane_lines " +
           std::to_string(board.lineCount) + "\n";
    out += "# HELP quorvane_lines_by_status Lines by the text of their status column (column " +
           std::to_string(board.column) + ").\n# TYPE quorvane_lines_by_status gauge\n";
    // The largest statuses, each under a label value of its own, and the rest in one series: a server
    // with a text per line must not make a scrape of thousands of series.
    std::set<std::string> taken = {kPrometheusOther};
    const auto series = [&](const std::string& value, int lines) {
        out +=
            "quorvane_lines_by_status{status=\"" + PrometheusLabelValue(value) + "\"} " + std::to_string(lines) + "\n";
    };
    int other = 0;
    for (size_t i = 0; i < board.statuses.size(); ++i) {
        const ProbeStatus& s = board.statuses[i];
        if (i < kPrometheusStatuses) {
            const std::string base = CutToChars(s.text, kPrometheusLabelChars);
            series(UniqueName(base, " (", ")", kPrometheusLabelChars, taken), s.lines);
        } else {
            other += s.lines;
        }
    }
    if (board.statuses.size() > kPrometheusStatuses)
        series(kPrometheusOther, other);
    out += "# HELP quorvane_answer_seconds Longest time from a poll to its whole answer in this probe's round.\n"
           "# TYPE quorvane_answer_seconds gauge\n"
           "quorvane_answer_seconds " +
           Format("%.6f", board.answerSeconds) + "\n";
    return out;
}

std::string PerfLabel(std::string_view utf8)
{
    return QuotedPerfLabel(PerfName(utf8));
}

std::string UnknownCheckLine(const std::string& reason)
{
    return CutToBytes("QUORVANE UNKNOWN - " + CheckText(reason), kCheckLineBytes);
}

ProbeCheck FormatCheck(const ProbeRound& round, const ProbeOptions& options)
{
    ProbeCheck check;
    if (!round.ok) {
        check.state = kProbeCritical;
        check.line = CutToBytes("QUORVANE CRITICAL - " + CheckText(round.reason), kCheckLineBytes);
        return check;
    }
    const ProbeBoard& board = round.board;

    // The status the thresholds judge: the one whose text is the one asked for; only when no text
    // is, the one whose GBK bytes are (a terminal in GBK). Statuses are distinct in both, so this is
    // never a different status by accident, whichever order they come in.
    const ProbeStatus* judged = nullptr;
    ProbeStatus absent{options.status, {}, 0};
    if (options.statusGiven) {
        for (size_t i = 0; !judged && i < board.statuses.size(); ++i) {
            if (board.statuses[i].text == options.status)
                judged = &board.statuses[i];
        }
        for (size_t i = 0; !judged && i < board.statuses.size(); ++i) {
            const std::vector<std::string>& gbk = board.statuses[i].gbk;
            if (std::find(gbk.begin(), gbk.end(), options.status) != gbk.end())
                judged = &board.statuses[i];
        }
        if (!judged)
            judged = &absent;
    }

    // The statuses to name: the most frequent ones, and the judged one in any case.
    std::vector<const ProbeStatus*> shown;
    for (const ProbeStatus& s : board.statuses) {
        if (shown.size() < kCheckStatusesShown || &s == judged)
            shown.push_back(&s);
    }
    if (judged == &absent)
        shown.push_back(judged);

    check.state = kProbeOk;
    std::string alert;
    if (judged) {
        const double n = judged->lines;
        if (options.critical && options.critical->Alerts(n)) {
            check.state = kProbeCritical;
            alert = " (critical: -c " + options.criticalText + ")";
        } else if (options.warning && options.warning->Alerts(n)) {
            check.state = kProbeWarning;
            alert = " (warning: -w " + options.warningText + ")";
        }
    }

    // Every label distinct after sanitising and cutting (a|b and a/b, = and _ would share one), and
    // none the total's.
    std::set<std::string> taken = {"lines"};
    std::vector<std::string> labels;
    labels.reserve(shown.size());
    for (const ProbeStatus* s : shown)
        labels.push_back(QuotedPerfLabel(UniqueName(PerfName(s->text), "_", "", kCheckNameChars, taken)));

    const size_t statuses = board.statuses.size() + (judged == &absent ? 1 : 0);
    std::vector<bool> named(shown.size(), true);
    const auto compose = [&]() {
        std::string text = std::to_string(board.lineCount) + " lines";
        std::string perf = "lines=" + std::to_string(board.lineCount);
        size_t hidden = statuses;
        for (size_t i = 0; i < shown.size(); ++i) {
            if (!named[i])
                continue;
            --hidden;
            const ProbeStatus* s = shown[i];
            text += ", " + CheckName(s->text) + " " + std::to_string(s->lines);
            perf += " " + labels[i] + "=" + std::to_string(s->lines);
            if (s == judged) {
                text += alert;
                // The thresholds as typed: the range syntax is the performance data's own.
                perf +=
                    ";" + options.warningText + ";" + options.criticalText + ";0;" + std::to_string(board.lineCount);
            }
        }
        if (hidden > 0)
            text += ", " + std::to_string(hidden) + " more";
        if (!board.Complete())
            text += Format(", board incomplete (%d of %d cells)", board.cellsReceived, board.lineCount * kColsPerLine);
        return std::string("QUORVANE ") + kStateNames[check.state] + " - " + text + " | " + perf;
    };
    // Too long for a plugin's output: the least frequent names go first, the judged one never.
    check.line = compose();
    for (size_t i = shown.size(); i-- > 0 && check.line.size() > kCheckLineBytes;) {
        if (shown[i] != judged) {
            named[i] = false;
            check.line = compose();
        }
    }
    check.line = CutToBytes(check.line, kCheckLineBytes);
    return check;
}