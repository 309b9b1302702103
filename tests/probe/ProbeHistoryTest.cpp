// quorvane-probe --history: a journal written as the monitor writes it, read back in every format,
// beside the running journal and after it, and refused where it cannot be read.

#include "probe/Probe.h"

#include "JsonReader.h"
#include "common/HistorySink.h"
#include "history/HistoryTime.h"
#include "platform/Utf8.h"
#include "probe/ProbeOptions.h"
#include "support/Frames.h"
#include "support/HistoryRig.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct ProbeOutput {
    int status = -1;
    std::string out;
    std::string err;
};

ProbeOutput Probe(std::vector<std::string> args)
{
    args.insert(args.begin(), "quorvane-probe");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    ProbeOutput run;
    run.status = RunProbe(int(argv.size()), argv.data(),
                          {[&run](std::string_view s) { run.out += s; }, [&run](std::string_view s) { run.err += s; }});
    return run;
}

std::string Utc(int64_t ms)
{
    const std::time_t seconds = std::time_t(ms / 1000);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &seconds);
#else
    gmtime_r(&seconds, &utc);
#endif
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    return std::string(text) + "." + std::to_string(1000 + ms % 1000).substr(1) + "Z";
}

std::vector<std::vector<std::string>> CsvRows(const std::string& csv)
{
    std::vector<std::vector<std::string>> rows;
    size_t at = 0;
    while (at < csv.size()) {
        const size_t eol = csv.find("\r\n", at);
        if (eol == std::string::npos)
            break;
        std::vector<std::string> fields;
        const std::string line = csv.substr(at, eol - at);
        size_t start = 0;
        for (;;) {
            const size_t comma = line.find(',', start);
            fields.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
        rows.push_back(fields);
        at = eol + 2;
    }
    return rows;
}

std::vector<std::string> Files()
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator("."))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A journal of a 3-line board: line 1 Idle, Talking, (link down), Talking again after the
// reconnection, Wrap-up; the moments of each.
class ProbeHistoryTest : public ::testing::Test {
protected:
    ScratchDir dir;
    std::unique_ptr<HistoryRig> rig;
    int64_t idle = 0, talking = 0, down = 0, up = 0, wrap = 0, end = 0;

    void SetUp() override
    {
        rig = std::make_unique<HistoryRig>();
        rig->Receive(3, Record(0, 2, 0, 15, "Idle") + Record(1, 2, 0, 15, "Idle") + Record(2, 2, 0, 15, "Idle"));
        idle = rig->Wall();
        rig->Advance(90s);
        rig->Status(3, 1, "Talking", 4, 15);
        talking = rig->Wall();
        rig->Advance(30s);
        History()->LinkChanged(false);
        down = rig->Wall();
        rig->Advance(20s);
        History()->LinkChanged(true);
        rig->Advance(500ms);
        rig->Status(3, 0, "Ringing"); // the first frame after it: the board's picture
        up = rig->Wall();
        rig->Advance(3min);
        rig->Status(3, 1, "=Wrap-up");
        wrap = rig->Wall();
        rig->Advance(15s);
        ASSERT_TRUE(rig->Flush());
        end = rig->Wall();
    }
};

} // namespace

TEST(ProbeHistoryOptions, HistoryCommandLines)
{
    const struct {
        std::vector<const char*> args;
        const char* error; // null: accepted
    } cases[] = {
        {{"--history", "h.db"}, nullptr},
        {{"--history=h.db", "--line", "5", "--format", "json"}, nullptr},
        {{"--history", "h.db", "--since", "2026-12-09T14:00:00+08:00", "--until", "2026-12-09T06:30:00Z"}, nullptr},
        {{"--history", "h.db", "--at", "2026-12-09T14:00:00+08:00", "--line", "2047"}, nullptr},
        {{"--history", ""}, "--history needs a file name"},
        {{"--history", "h.db", "--line", "2048"}, "--line needs a line from 0 to 2047"},
        {{"--history", "h.db", "--line", "-1"}, "--line"},
        {{"--history", "h.db", "--at", "2026-12-09T14:00:00"}, "--at needs a time in ISO 8601 with its offset"},
        {{"--history", "h.db", "--since", "yesterday"}, "--since needs a time"},
        {{"--history", "h.db", "--at", "2026-12-09T14:00:00Z", "--since", "2026-12-09T13:00:00Z"},
         "--at is one moment"},
        {{"--history", "h.db", "--since", "2026-12-09T14:00:00Z", "--until", "2026-12-09T14:00:00Z"},
         "--until must come after --since"},
        {{"--history", "h.db", "--format", "prometheus"}, "--history prints table, csv or json"},
        {{"--history", "h.db", "--host", "127.0.0.1"}, "--host polls a server; --history reads a file"},
        {{"--history", "h.db", "--check"}, "--check polls a server"},
        {{"--history", "h.db", "--watch", "5"}, "--watch polls a server"},
        {{"--history", "h.db", "--column", "3"}, "--column polls a server"},
        {{"--line", "3"}, "read a --history file"},
        {{"--at", "2026-12-09T14:00:00Z"}, "read a --history file"},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv{"quorvane-probe"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        ProbeOptions o;
        std::string error;
        const ProbeParse parsed = ParseProbeArgs(int(argv.size()), argv.data(), o, error);
        SCOPED_TRACE(c.args[0] + std::string(" ") + (c.args.size() > 1 ? c.args[1] : ""));
        if (c.error) {
            EXPECT_EQ(parsed, ProbeParse::Error);
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        } else {
            EXPECT_EQ(parsed, ProbeParse::Run) << error;
        }
    }
    ProbeOptions o;
    std::string error;
    const char* argv[] = {"quorvane-probe", "--history", "h.db", "--line", "7", "--since", "2026-12-09T14:00:00+08:00"};
    ASSERT_EQ(ParseProbeArgs(7, argv, o, error), ProbeParse::Run);
    EXPECT_EQ(o.history, "h.db");
    EXPECT_EQ(o.line, 7);
    EXPECT_EQ(o.since, std::optional<int64_t>(1796796000000));
    EXPECT_FALSE(o.until);
    EXPECT_FALSE(o.at);
}

TEST_F(ProbeHistoryTest, OneLineAsCsvOldestFirstWithGaps)
{
    const ProbeOutput run = Probe({"--history", "history.sqlite3", "--line", "1", "--format", "csv"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const auto rows = CsvRows(run.out);
    // The journal's start before the first frame, then the line's story.
    const struct {
        int64_t from, until;
        const char* status;
        const char* gap;
    } want[] = {
        {idle - 1, idle, "", "no board"}, {idle, talking, "Idle", ""}, {talking, down, "Talking", ""},
        {down, up, "", "link down"},      {up, wrap, "Talking", ""},   {wrap, end, "'=Wrap-up", ""},
    };
    ASSERT_EQ(rows.size(), std::size(want) + 1) << run.out;
    EXPECT_EQ(rows[0], (std::vector<std::string>{"Time", "Line", "Status", "Seconds", "Gap"}));
    for (size_t i = 0; i < std::size(want); ++i) {
        SCOPED_TRACE(i);
        const auto& row = rows[i + 1];
        ASSERT_EQ(row.size(), 5u);
        int64_t at = 0;
        ASSERT_TRUE(ParseIsoTime(row[0], at)) << row[0];
        EXPECT_EQ(at, want[i].from);
        EXPECT_EQ(row[1], "1");
        EXPECT_EQ(row[2], want[i].status);
        const int64_t ms = want[i].until - want[i].from;
        EXPECT_EQ(row[3], std::to_string(ms / 1000) + "." + std::to_string(1000 + ms % 1000).substr(1));
        EXPECT_EQ(row[4], want[i].gap);
    }
}

TEST_F(ProbeHistoryTest, OneLineAsTableAndJson)
{
    const ProbeOutput table = Probe({"--history", "history.sqlite3", "--line", "1", "--since", Utc(idle)});
    ASSERT_EQ(table.status, 0) << table.err;
    std::vector<std::string> lines;
    for (size_t at = 0; at < table.out.size();) {
        const size_t eol = table.out.find('\n', at);
        lines.push_back(table.out.substr(at, eol - at));
        at = eol + 1;
    }
    ASSERT_EQ(lines.size(), 6u) << table.out;
    EXPECT_EQ(lines[0].substr(0, 4), "Time");
    const size_t statusAt = lines[0].find("Status");
    const size_t lastedAt = lines[0].find("Lasted");
    ASSERT_NE(statusAt, std::string::npos);
    const char* const statuses[] = {"Idle", "Talking", "(link down)", "Talking", "=Wrap-up"};
    const char* const lasted[] = {"1 min 30 s", "30 s", "20 s", "3 min", "15 s"};
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(lines[i + 1]);
        EXPECT_EQ(lines[i + 1].substr(statusAt, std::strlen(statuses[i])), statuses[i]);
        EXPECT_EQ(lines[i + 1].substr(lastedAt), lasted[i]);
    }

    const ProbeOutput json = Probe({"--history", "history.sqlite3", "--line", "1", "--format", "json", "--since",
                                    Utc(talking), "--until", Utc(up + 1000)});
    ASSERT_EQ(json.status, 0) << json.err;
    JsonValue doc;
    std::string why;
    ASSERT_TRUE(ParseJson(json.out, doc, why)) << why << "\n" << json.out;
    const JsonValue& changes = doc["changes"];
    ASSERT_EQ(changes.items.size(), 3u) << json.out;
    EXPECT_EQ(changes[0]["status"].text, "Talking");
    EXPECT_EQ(changes[0]["color"].text, "#FF0000");
    EXPECT_EQ(changes[0]["seconds"].number, 30);
    EXPECT_EQ(changes[1]["status"].kind, JsonValue::Kind::Null);
    EXPECT_EQ(changes[1]["gap"].text, "link down");
    EXPECT_EQ(changes[2]["line"].number, 1);
    EXPECT_EQ(changes[2]["seconds"].number, 1);
    int64_t since = 0;
    ASSERT_TRUE(ParseIsoTime(doc["since"].text, since));
    EXPECT_EQ(since, talking);
}

TEST_F(ProbeHistoryTest, TheBoardAtAMomentInEveryFormat)
{
    const int64_t t = up + 60000;
    const ProbeOutput csv = Probe({"--history", "history.sqlite3", "--at", Utc(t), "--format", "csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    const auto rows = CsvRows(csv.out);
    ASSERT_EQ(rows.size(), 4u) << csv.out;
    EXPECT_EQ(rows[0], (std::vector<std::string>{"Line", "Status", "Since", "Gap"}));
    const struct {
        const char* status;
        int64_t since;
    } want[] = {{"Ringing", up}, {"Talking", talking}, {"Idle", idle}};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i + 1][0], std::to_string(i));
        EXPECT_EQ(rows[i + 1][1], want[i].status);
        int64_t since = 0;
        ASSERT_TRUE(ParseIsoTime(rows[i + 1][2], since));
        EXPECT_EQ(since, want[i].since);
        EXPECT_EQ(rows[i + 1][3], "");
    }

    const ProbeOutput json = Probe({"--history", "history.sqlite3", "--at", Utc(down + 1000), "--format", "json"});
    ASSERT_EQ(json.status, 0) << json.err;
    JsonValue doc;
    std::string why;
    ASSERT_TRUE(ParseJson(json.out, doc, why)) << why;
    ASSERT_EQ(doc["lines"].items.size(), 3u);
    for (const JsonValue& line : doc["lines"].items)
        EXPECT_EQ(line["gap"].text, "link down");

    const ProbeOutput one = Probe({"--history", "history.sqlite3", "--at", Utc(t), "--line", "1"});
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.out.substr(0, one.out.find('\n')).substr(0, 4), "Line");
    EXPECT_NE(one.out.find("\n1     Talking  "), std::string::npos) << one.out;
    EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\n'), 2);
}

TEST_F(ProbeHistoryTest, EveryLineAtOnceLineByLine)
{
    const ProbeOutput csv = Probe({"--history", "history.sqlite3", "--since", Utc(idle), "--format", "csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    const auto rows = CsvRows(csv.out);
    std::vector<std::string> order;
    for (size_t i = 1; i < rows.size(); ++i)
        order.push_back(rows[i][1] + ":" + (rows[i][2].empty() ? "(" + rows[i][4] + ")" : rows[i][2]));
    EXPECT_EQ(order,
              (std::vector<std::string>{"0:Idle", "0:(link down)", "0:Ringing", "1:Idle", "1:Talking", "1:(link down)",
                                        "1:Talking", "1:'=Wrap-up", "2:Idle", "2:(link down)", "2:Idle"}));
}

TEST_F(ProbeHistoryTest, ReadsBesideTheRunningJournalAndLeavesNothingBehind)
{
    // The journal still holds the file: the probe reads what was committed.
    const ProbeOutput live = Probe({"--history", "history.sqlite3", "--at", Utc(end), "--format", "csv"});
    ASSERT_EQ(live.status, 0) << live.err;
    EXPECT_EQ(CsvRows(live.out).size(), 4u);
    rig->Advance(1s);
    rig->Status(3, 2, "Blocked");
    rig->Advance(1s);
    ASSERT_TRUE(rig->Flush());
    EXPECT_EQ(rig->journal->Status().state, HistoryState::Recording);
    rig.reset();
    const std::vector<std::string> files = Files();
    const ProbeOutput after = Probe({"--history", "history.sqlite3", "--line", "2", "--format", "csv"});
    ASSERT_EQ(after.status, 0) << after.err;
    EXPECT_NE(after.out.find(",2,Blocked,"), std::string::npos) << after.out;
    EXPECT_EQ(Files(), files);
}

TEST_F(ProbeHistoryTest, WhatCannotBeReadIsSaidOnStandardError)
{
    const std::vector<std::string> files = Files();
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"--history", "missing.sqlite3"}, "missing.sqlite3: cannot be opened"},
        {{"--history", "history.sqlite3", "--at", Utc(idle - 3600000)}, "monitor not running"},
        {{"--history", "history.sqlite3", "--at", Utc(end), "--line", "3"}, "had 3 lines"},
    };
    for (const auto& c : cases) {
        const ProbeOutput run = Probe(c.args);
        SCOPED_TRACE(c.args[1]);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    }
    WriteFile("notes.txt", "not a database at all, just some words that fill more than a header");
    const ProbeOutput notDb = Probe({"--history", "notes.txt"});
    EXPECT_EQ(notDb.status, 1);
    EXPECT_NE(notDb.err.find("notes.txt: "), std::string::npos) << notDb.err;
    fs::remove("notes.txt");
    EXPECT_EQ(Files(), files);
}
