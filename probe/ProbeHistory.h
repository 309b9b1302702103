#pragma once
// quorvane-probe --history: a line history file read and printed as a table, CSV or JSON.

#include "history/HistoryReader.h"
#include "probe/Probe.h"
#include "probe/ProbeOptions.h"

#include <string>
#include <vector>

// Exit status as RunProbe's: 0 printed, 1 the file cannot be read or holds no board at --at.
int RunHistoryProbe(const ProbeOptions& options, const ProbeIo& io);

// One line's rows (or every line's, line -1) over [from, until): the table and the JSON.
std::string HistoryTable(HistoryReader& reader, int line, const std::vector<std::vector<HistorySpan>>& lines);
std::string HistoryJson(HistoryReader& reader, int line, int64_t from, int64_t until,
                        const std::vector<std::vector<HistorySpan>>& lines);
// The board at a moment: the table and the JSON.
std::string HistoryAtTable(HistoryReader& reader, const std::vector<HistorySpan>& lines, int line);
std::string HistoryAtJson(HistoryReader& reader, int64_t at, const std::vector<HistorySpan>& lines, int line);
