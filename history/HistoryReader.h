#pragma once
// Reads a line history file, read-only: safe beside the monitor that writes it (WAL readers take no
// lock the writer waits for). Every query reads one consistent moment of the file.

#include "history/HistoryTimeline.h"
#include "history/Sqlite.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

struct HistoryStateText {
    std::string text; // GBK, as the server sent it
    uint32_t fore = 0;
    uint32_t back = 0xFFFFFF;
};

struct HistoryEventRow {
    int64_t t = 0;
    HistoryEventKind kind = HistoryEventKind::Board;
    int64_t value = 0;
    int64_t until = 0;
};

// How long after a session's last commit a monitor that did not end cleanly (still running, or
// killed) is taken to have recorded: its commits come every second.
inline constexpr int64_t kHistoryGraceMs = 2000;

class HistoryReader {
public:
    // False with a reason (UTF-8) when the file cannot be read as a line history file. Never
    // creates a file.
    bool Open(const std::string& path, std::string& error);

    // The span the file answers for: from what it still keeps to the last moment recorded. False
    // when it holds no session yet.
    bool Span(int64_t& first, int64_t& last);
    // The highest line count of any board in [from, until].
    int LineCount(int64_t from, int64_t until);

    // One line over [from, until), oldest first.
    bool LineSpans(int line, int64_t from, int64_t until, std::vector<HistorySpan>& spans);
    // Every line of the board at moment t: spans that start at the state's or the gap's start and
    // end at t. None when there was no board (the monitor not running, no answer yet); gap then
    // says why.
    bool BoardAt(int64_t t, std::vector<HistorySpan>& lines, HistoryGap& gap);
    // The events of [from, until], oldest first.
    bool Events(int64_t from, int64_t until, std::vector<HistoryEventRow>& events);

    // The text and colours of a state; null for an unknown id.
    const HistoryStateText* State(int64_t id);
    std::string Error() const { return error_; }

private:
    struct Read; // one read transaction
    bool Fail(int rc);
    bool BaseAt(int64_t t, int64_t& base);
    bool GlobalFacts(int line, int64_t from, int64_t until, std::vector<HistoryFact>& facts);
    bool Sessions(int64_t from, int64_t until, std::vector<HistoryFact>& facts);
    bool RetainedFrom(int64_t& value);
    // line's changes at base and later, before until (or at until, with closed), oldest first; of
    // two at the same moment the one written later.
    bool LineChanges(int line, int64_t base, int64_t until, bool closed, std::vector<HistoryFact>& facts);
    // Every line's last change in [base, t] that pending holds: per line, t and state (t is INT64_MIN
    // where there is none).
    bool LastChange(int line, int64_t base, int64_t t, int64_t& lastT, int64_t& lastState);
    bool PendingLast(int64_t base, int64_t t, std::vector<std::pair<int64_t, int64_t>>& last);

    SqliteDb db_;
    int64_t version_ = 0;
    SqliteStmt lastChange_;
    SqliteStmt lineChanges_;
    SqliteStmt pending_;
    SqliteStmt stateById_;
    std::unordered_map<int64_t, HistoryStateText> states_;
    std::string error_;
};
