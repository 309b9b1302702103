#include "history/HistoryCsv.h"

#include "board/BoardCsv.h"
#include "board/TableText.h"
#include "history/HistoryTime.h"
#include "platform/System.h"
#include "platform/Utf8.h"
#include "platform/Utf8Path.h"
#include "settings/EventLog.h"

namespace {

std::string Seconds(int64_t ms)
{
    return Format("%lld.%03lld", static_cast<long long>(ms / 1000), static_cast<long long>(ms % 1000));
}

void Row(std::string& out, std::initializer_list<std::string_view> fields)
{
    bool first = true;
    for (std::string_view f : fields) {
        if (!first)
            out += ',';
        first = false;
        out += NeutralCsvField(f);
    }
    out += "\r\n";
}

std::string StatusText(HistoryReader& reader, const HistorySpan& span)
{
    if (span.gap != HistoryGap::None)
        return {};
    const HistoryStateText* state = reader.State(span.state);
    return state ? GbkToUtf8(state->text) : std::string();
}

} // namespace

std::string NeutralCsvField(std::string_view text)
{
    return CsvField(WithoutControls(text));
}

std::string HistoryGapText(const HistorySpan& span)
{
    switch (span.gap) {
    case HistoryGap::None:
        return {};
    case HistoryGap::NotRunning:
        return "monitor not running";
    case HistoryGap::NoBoard:
        return "no board";
    case HistoryGap::NotOnBoard:
        return "not on the board";
    case HistoryGap::LinkDown:
        return "link down";
    case HistoryGap::NotRecorded:
        return span.notRecorded == 1 ? "1 change not recorded"
                                     : std::to_string(span.notRecorded) + " changes not recorded";
    case HistoryGap::NotRetained:
        return "not retained";
    }
    return {};
}

bool HistoryCsv(HistoryReader& reader, int line, int64_t from, int64_t until,
                const std::function<bool(std::string_view)>& out, std::string& error)
{
    std::string text;
    Row(text, {"Time", "Line", "Status", "Seconds", "Gap"});
    if (!out(text))
        return false;
    const int first = line < 0 ? 0 : line;
    const int end = line < 0 ? reader.LineCount(from, until) : line + 1;
    std::vector<HistorySpan> spans;
    for (int i = first; i < end; ++i) {
        if (!reader.LineSpans(i, from, until, spans)) {
            error = reader.Error();
            return false;
        }
        text.clear();
        const std::string number = std::to_string(i);
        for (const HistorySpan& span : spans) {
            if (span.gap == HistoryGap::NotOnBoard && line < 0)
                continue;
            Row(text, {IsoLocalTimeMs(span.from), number, StatusText(reader, span), Seconds(span.until - span.from),
                       HistoryGapText(span)});
        }
        if (!out(text))
            return false;
    }
    return true;
}

std::string HistoryAtCsv(HistoryReader& reader, const std::vector<HistorySpan>& lines, int line)
{
    std::string text;
    Row(text, {"Line", "Status", "Since", "Gap"});
    for (size_t i = 0; i < lines.size(); ++i) {
        if (line >= 0 && size_t(line) != i)
            continue;
        const HistorySpan& span = lines[i];
        Row(text, {std::to_string(i), StatusText(reader, span),
                   IsoLocalTimeMs(span.gap == HistoryGap::None ? span.since : span.from), HistoryGapText(span)});
    }
    return text;
}

bool SaveHistoryCsv(HistoryReader& reader, int line, int64_t from, int64_t until, const std::string& path,
                    std::string& error)
{
    const std::string temporary = path + ".tmp";
    std::FILE* f = OpenUtf8(temporary, "wb");
    if (!f) {
        error = temporary + ": cannot be written";
        return false;
    }
    bool written = true;
    const bool ok = HistoryCsv(
        reader, line, from, until,
        [&](std::string_view piece) {
            written = std::fwrite(piece.data(), 1, piece.size(), f) == piece.size();
            return written;
        },
        error);
    const bool flushed = written && std::fflush(f) == 0 && FlushToDisk(f);
    const bool closed = std::fclose(f) == 0;
    if (!ok || !flushed || !closed || !RenameUtf8(temporary, path)) {
        if (error.empty())
            error = path + ": cannot be written";
        RemoveUtf8(temporary);
        return false;
    }
    return true;
}
