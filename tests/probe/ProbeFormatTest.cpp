#include "probe/ProbeFormat.h"

#include "JsonReader.h"
#include "probe/ProbeText.h"
#include "settings/Config.h"
#include "settings/EventLog.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <sstream>

using namespace std::chrono_literals;

namespace {

struct CellSpec {
    int line;
    int column;
    std::string text; // GBK
    int fore = 0;
    int back = 15;
};

// A snapshot of a board of lineCount lines with the given cells written.
ProbeBoard Snapshot(int lineCount, const std::vector<CellSpec>& cells, const std::string& summary = "", int column = 2,
                    bool english = true)
{
    TagRunCfg cfg;
    cfg.IsEnglish = english ? 1 : 0;
    cfg.Title1 = "Agent";
    cfg.Title2 = "Calls";
    cfg.Title3 = "Queue";
    TagMonitor board(lineCount);
    BoardLock lock(board.Lock);
    for (const CellSpec& c : cells)
        board.SetCell(c.text.data(), c.text.size(), c.line, c.column, c.fore, c.back);
    return TakeSnapshot(board, cfg, summary, column, CsvClockNow(board));
}

// Every cell of a board of n lines, status texts as given (line i shows statuses[i]).
std::vector<CellSpec> FullBoard(const std::vector<std::string>& statuses)
{
    std::vector<CellSpec> cells;
    for (int i = 0; i < int(statuses.size()); ++i) {
        for (int k = 0; k < 8; ++k)
            cells.push_back({i, k, k == 2 ? statuses[size_t(i)] : (k == 0 ? std::to_string(i) : "")});
    }
    return cells;
}

ProbeRound Ok(ProbeBoard board)
{
    ProbeRound r;
    r.ok = true;
    r.board = std::move(board);
    return r;
}

ProbeOptions CheckOptions(const std::string& status = "", const char* warning = nullptr, const char* critical = nullptr)
{
    ProbeOptions o;
    o.check = true;
    if (!status.empty()) {
        o.status = status;
        o.statusGiven = true;
    }
    if (warning) {
        o.warning.emplace();
        EXPECT_TRUE(ParseRange(warning, *o.warning));
        o.warningText = warning;
    }
    if (critical) {
        o.critical.emplace();
        EXPECT_TRUE(ParseRange(critical, *o.critical));
        o.criticalText = critical;
    }
    return o;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

TEST(ProbeFormat, SnapshotDecodesCountsAndMergesWhatDecodesAlike)
{
    // Two different broken texts both decode to U+FFFD: one status, not two series of one name.
    const ProbeBoard board = Snapshot(
        6, {{0, 2, "\xCD\xA8\xBB\xB0"}, {1, 2, "\xCD\xA8\xBB\xB0"}, {2, 2, "\xFF"}, {3, 2, "\x81"}, {4, 2, "Idle"}},
        "\xCF\xDF\xC2\xB7 6");
    EXPECT_EQ(board.lineCount, 6);
    EXPECT_EQ(board.summary, "线路 6");
    EXPECT_EQ(board.headers[2], "Status");
    EXPECT_EQ(board.lines[0][2].text, "通话");
    EXPECT_EQ(board.cellsReceived, 5);
    EXPECT_FALSE(board.Complete());
    ASSERT_EQ(board.statuses.size(), 4u);
    // Most lines first, ties in UTF-8 byte order: "" < "Idle" < "通话"(E9..) < U+FFFD (EF..).
    EXPECT_EQ(board.statuses[0].text, "通话");
    EXPECT_EQ(board.statuses[0].lines, 2);
    EXPECT_EQ(board.statuses[1].text, "\xEF\xBF\xBD");
    EXPECT_EQ(board.statuses[1].lines, 2);
    EXPECT_EQ(board.statuses[1].gbk, (std::vector<std::string>{"\x81", "\xFF"}));
    EXPECT_EQ(board.statuses[2].text, "");
    EXPECT_EQ(board.statuses[3].text, "Idle");
}

TEST(ProbeFormat, TableAlignsByDisplayColumnsAndShowsNoControlCharacters)
{
    const ProbeBoard board = Snapshot(3,
                                      {{0, 0, "0"},
                                       {0, 2, "\xCD\xA8\xBB\xB0"},
                                       {0, 4, "x"},
                                       {1, 0, "1"},
                                       {1, 2, "Idle"},
                                       {1, 4, "y"},
                                       {2, 0, "22"},
                                       {2, 2, "\x1B[31mred"},
                                       {2, 7, "Sales"}},
                                      "Lines 3\n| clear");
    const std::vector<std::string> lines = Lines(FormatTable(board));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Lines 3\xEF\xBF\xBD| clear");
    EXPECT_EQ(lines[1], "Line  Script File  Status    Keys  Run Info  Agent  Calls  Queue");
    EXPECT_EQ(lines[2], "0                  通话            x");
    EXPECT_EQ(lines[3], "1                  Idle            y");
    EXPECT_EQ(lines[4], "22                 \xEF\xBF\xBD[31mred                                Sales");
    // Every column starts at the same display column on every row.
    const size_t keys = size_t(DisplayWidth(lines[1].substr(0, lines[1].find("Keys"))));
    EXPECT_EQ(size_t(DisplayWidth(lines[2].substr(0, lines[2].find('x')))), keys + 6);
    EXPECT_EQ(size_t(DisplayWidth(lines[3].substr(0, lines[3].find('y')))), keys + 6);
    for (const std::string& line : lines)
        EXPECT_EQ(line.find('\x1B'), std::string::npos);
}

TEST(ProbeFormat, ChineseHeadersInTheTable)
{
    const ProbeBoard board = Snapshot(1, {{0, 2, "\xBF\xD5\xCF\xD0"}}, "", 2, false);
    const std::vector<std::string> lines = Lines(FormatTable(board));
    ASSERT_EQ(lines.size(), 2u) << "no summary line without a summary";
    EXPECT_EQ(lines[0].rfind("线路  脚本文件  状态  当前按键  运行信息  Agent  Calls  Queue", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "                空闲");
}

TEST(ProbeFormat, JsonCarriesEveryCellAndParsesBack)
{
    std::vector<CellSpec> cells = FullBoard({"Idle", "\xCD\xA8\xBB\xB0"});
    cells.push_back({0, 4, std::string("quote \" backslash \\ tab\t nl\n cr\r ctl\x01 del\x7F", 39), 4, 9});
    cells.push_back({1, 5, "\xF0\x9F\x98\x80 is not GBK", 13, 3});
    const ProbeBoard board = Snapshot(2, cells, "Lines \"2\"");
    const std::string json = FormatJson(board);
    JsonValue doc;
    std::string why;
    ASSERT_TRUE(ParseJson(json, doc, why)) << why << "\n" << json;
    EXPECT_EQ(doc["lineCount"].number, 2);
    EXPECT_TRUE(doc["complete"].boolean);
    EXPECT_EQ(doc["statusColumn"].number, 2);
    EXPECT_EQ(doc["summary"].text, "Lines \"2\"");
    ASSERT_EQ(doc["headers"].items.size(), 8u);
    EXPECT_EQ(doc["headers"][4].text, "Run Info");
    EXPECT_EQ(doc["headers"][7].text, "Queue");
    ASSERT_EQ(doc["lines"].items.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const JsonValue& line = doc["lines"][i];
        EXPECT_EQ(line["line"].number, double(i));
        ASSERT_EQ(line["cells"].items.size(), 8u);
        for (size_t k = 0; k < 8; ++k) {
            EXPECT_EQ(line["cells"][k]["text"].text, board.lines[i][k].text) << i << "," << k;
            EXPECT_EQ(line["cells"][k]["color"].text, ColorHex(board.lines[i][k].fore));
            EXPECT_EQ(line["cells"][k]["background"].text, ColorHex(board.lines[i][k].back));
        }
    }
    EXPECT_EQ(doc["lines"][1]["cells"][2]["text"].text, "通话");
    EXPECT_EQ(doc["lines"][0]["cells"][4]["color"].text, "#FF0000");      // palette 4, red
    EXPECT_EQ(doc["lines"][0]["cells"][4]["background"].text, "#A6CAF0"); // palette 9, sky blue
    EXPECT_EQ(doc["lines"][0]["cells"][4]["text"].text,
              std::string("quote \" backslash \\ tab\t nl\n cr\r ctl\x01 del\x7F", 39));
}

TEST(ProbeFormat, JsonStringEscapes)
{
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"", "\"\""},
        {"a\"b", "\"a\\\"b\""},
        {"a\\b", "\"a\\\\b\""},
        {"\n\r\t", "\"\\n\\r\\t\""},
        {std::string("\0\x1F", 2), "\"\\u0000\\u001f\""},
        {"/\x7F", "\"/\\u007f\""},
        {"c1\xC2\x9B", "\"c1\\u009b\""},
        {"\xE2\x80\xAE"
         "evil",
         "\"\\u202e"
         "evil\""},
        {"通话", "\"通话\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JsonString(c.in), c.out);
}

TEST(ProbeFormat, ColoursAreRedGreenBlue)
{
    EXPECT_EQ(ColorHex(0x000000), "#000000");
    EXPECT_EQ(ColorHex(0x0000FF), "#FF0000");
    EXPECT_EQ(ColorHex(0x008000), "#008000");
    EXPECT_EQ(ColorHex(0xFF0000), "#0000FF");
    EXPECT_EQ(ColorHex(0xF0CAA6), "#A6CAF0");
}

TEST(ProbeFormat, PrometheusExpositionAndItsEscapes)
{
    const ProbeBoard board = Snapshot(7, {{0, 2, "Idle"},
                                          {1, 2, "say \"hi\""},
                                          {2, 2, "back\\slash"},
                                          {3, 2, "two\nlines"},
                                          {4, 2, "\xCD\xA8\xBB\xB0"},
                                          {5, 2, "\xCD\xA8\xBB\xB0"},
                                          {6, 2, "{x=\"1\"} 2"}});
    ProbeRound round = Ok(board);
    round.board.answerSeconds = 0.0125;
    const std::string text = FormatPrometheus(round);
    const std::vector<std::string> lines = Lines(text);
    const std::vector<std::string> expected = {
        "quorvane_link_up 1",
        "quorvane_lines 7",
        "quorvane_lines_by_status{status=\"通话\"} 2",
        "quorvane_lines_by_status{status=\"Idle\"} 1",
        "quorvane_lines_by_status{status=\"back\\\\slash\"} 1",
        "quorvane_lines_by_status{status=\"say \\\"hi\\\"\"} 1",
        "quorvane_lines_by_status{status=\"two\\nlines\"} 1",
        "quorvane_lines_by_status{status=\"{x=\\\"1\\\"} 2\"} 1",
        "quorvane_answer_seconds 0.012500",
    };
    std::vector<std::string> samples;
    for (const std::string& line : lines) {
        if (line.rfind("#", 0) != 0)
            samples.push_back(line);
    }
    EXPECT_EQ(samples, expected) << text;
    // Every metric has its HELP and TYPE before its samples.
    for (const char* metric :
         {"quorvane_link_up", "quorvane_lines", "quorvane_lines_by_status", "quorvane_answer_seconds"}) {
        const size_t help = text.find(std::string("# HELP ") + metric + " ");
        const size_t type = text.find(std::string("# TYPE ") + metric + " gauge\n");
        const size_t sample =
            text.find(std::string("\n") + metric + (std::strcmp(metric, "quorvane_lines_by_status") ? " " : "{"));
        ASSERT_NE(help, std::string::npos) << metric;
        ASSERT_NE(type, std::string::npos) << metric;
        EXPECT_LT(help, type);
        EXPECT_LT(type, sample);
    }
    EXPECT_EQ(text.back(), '\n');
}

TEST(ProbeFormat, PrometheusLabelValues)
{
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"Idle", "Idle"},
        {"\"", "\\\""},
        {"\\", "\\\\"},
        {"\n", "\\n"},
        {"a\\nb", "a\\\\nb"},
        {"\r\t", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"通话", "通话"},
        {"", ""},
        {"\x1B[2J\x7F", "\xEF\xBF\xBD[2J\xEF\xBF\xBD"},
        {"\\\"\n", "\\\\\\\"\\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PrometheusLabelValue(c.in), c.out) << c.in;
}

TEST(ProbeFormat, AFailedRoundIsStillAnExposition)
{
    ProbeRound round;
    round.reason = "cannot connect";
    const std::string text = FormatPrometheus(round);
    EXPECT_NE(text.find("\nquorvane_link_up 0\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("quorvane_lines"), std::string::npos);
}

TEST(ProbeFormat, CheckLineAndState)
{
    std::vector<std::string> statuses;
    for (int i = 0; i < 10; ++i)
        statuses.push_back(i < 6 ? "Idle" : (i < 9 ? "Talking" : "Hang up"));
    const ProbeRound round = Ok(Snapshot(10, FullBoard(statuses)));

    const struct {
        ProbeOptions options;
        ProbeState state;
        std::string line;
    } cases[] = {
        {CheckOptions(), kProbeOk,
         "QUORVANE OK - 10 lines, Idle 6, Talking 3, Hang up 1 | lines=10 Idle=6 Talking=3 'Hang up'=1"},
        {CheckOptions("Talking", "2", "5"), kProbeWarning,
         "QUORVANE WARNING - 10 lines, Idle 6, Talking 3 (warning: -w 2), Hang up 1 | lines=10 Idle=6 "
         "Talking=3;2;5;0;10 'Hang up'=1"},
        {CheckOptions("Talking", "2", "@3:4"), kProbeCritical,
         "QUORVANE CRITICAL - 10 lines, Idle 6, Talking 3 (critical: -c @3:4), Hang up 1 | lines=10 Idle=6 "
         "Talking=3;2;@3:4;0;10 'Hang up'=1"},
        {CheckOptions("Talking", "3", "5"), kProbeOk,
         "QUORVANE OK - 10 lines, Idle 6, Talking 3, Hang up 1 | lines=10 Idle=6 Talking=3;3;5;0;10 'Hang up'=1"},
        {CheckOptions("Idle", nullptr, "~:5"), kProbeCritical,
         "QUORVANE CRITICAL - 10 lines, Idle 6 (critical: -c ~:5), Talking 3, Hang up 1 | lines=10 "
         "Idle=6;;~:5;0;10 Talking=3 'Hang up'=1"},
        // A status no line shows is counted as 0 and named at the end.
        {CheckOptions("Ringing", "1:"), kProbeWarning,
         "QUORVANE WARNING - 10 lines, Idle 6, Talking 3, Hang up 1, Ringing 0 (warning: -w 1:) | lines=10 Idle=6 "
         "Talking=3 'Hang up'=1 Ringing=0;1:;;0;10"},
        {CheckOptions("Ringing"), kProbeOk,
         "QUORVANE OK - 10 lines, Idle 6, Talking 3, Hang up 1, Ringing 0 | lines=10 Idle=6 Talking=3 'Hang up'=1 "
         "Ringing=0;;;0;10"},
    };
    for (const auto& c : cases) {
        const ProbeCheck check = FormatCheck(round, c.options);
        EXPECT_EQ(check.state, c.state) << check.line;
        EXPECT_EQ(check.line, c.line);
    }
}

TEST(ProbeFormat, CheckNamesTheTenMostFrequentAndTheJudgedOne)
{
    std::vector<std::string> statuses;
    for (int s = 0; s < 13; ++s) {
        for (int n = 0; n <= 13 - s; ++n)
            statuses.push_back("s" + std::string(1, char('a' + s)));
    }
    const ProbeRound round = Ok(Snapshot(int(statuses.size()), FullBoard(statuses)));
    const ProbeCheck plain = FormatCheck(round, CheckOptions());
    EXPECT_NE(plain.line.find(", sj 5, 3 more |"), std::string::npos) << plain.line;
    EXPECT_EQ(plain.line.find("sk"), std::string::npos);
    const ProbeCheck judged = FormatCheck(round, CheckOptions("sm", "2"));
    EXPECT_EQ(judged.state, kProbeOk);
    EXPECT_NE(judged.line.find(", sj 5, sm 2, 2 more |"), std::string::npos) << judged.line;
    EXPECT_NE(judged.line.find(" sm=2;2;;0;"), std::string::npos) << judged.line;
}

TEST(ProbeFormat, CheckTextsAndLabelsStayOnOneLineAndOutOfThePerformanceData)
{
    const ProbeRound round =
        Ok(Snapshot(5, FullBoard({"a|b", "it's", "x=y", "\xCD\xA8\xBB\xB0", std::string("cr\rlf\n", 7)})));
    const ProbeCheck check = FormatCheck(round, CheckOptions("\xCD\xA8\xBB\xB0", "0"));
    EXPECT_EQ(check.state, kProbeWarning) << "the GBK bytes of a status name it too";
    EXPECT_EQ(check.line.find('\n'), std::string::npos);
    EXPECT_EQ(check.line.find('\r'), std::string::npos);
    const size_t bar = check.line.find(" | ");
    ASSERT_NE(bar, std::string::npos);
    EXPECT_EQ(check.line.find('|', bar + 2), std::string::npos) << "one '|' only: " << check.line;
    EXPECT_NE(check.line.find("a/b 1"), std::string::npos);
    EXPECT_NE(check.line.find(" 'it''s'=1"), std::string::npos) << check.line;
    EXPECT_NE(check.line.find(" x_y=1"), std::string::npos) << check.line;
    EXPECT_NE(check.line.find(" 通话=1;0;;0;5"), std::string::npos) << check.line;
    EXPECT_EQ(PerfLabel(""), "(empty)");
    EXPECT_EQ(PerfLabel("a b"), "'a b'");
}

TEST(ProbeFormat, CheckOfAFailedOrPartialRound)
{
    ProbeRound failed;
    failed.reason = "cannot connect to 127.0.0.1:5: no connection within 1 s";
    const ProbeCheck down = FormatCheck(failed, CheckOptions("Idle", "1", "2"));
    EXPECT_EQ(down.state, kProbeCritical);
    EXPECT_EQ(down.line, "QUORVANE CRITICAL - cannot connect to 127.0.0.1:5: no connection within 1 s");

    const ProbeRound partial = Ok(Snapshot(2, {{0, 2, "Idle"}}));
    const ProbeCheck check = FormatCheck(partial, CheckOptions());
    EXPECT_EQ(check.line, "QUORVANE OK - 2 lines, (empty) 1, Idle 1, board incomplete (1 of 16 cells) | lines=2 "
                          "(empty)=1 Idle=1");
    EXPECT_EQ(UnknownCheckLine("unknown option '--x'\n"), "QUORVANE UNKNOWN - unknown option '--x'\xEF\xBF\xBD");
}

TEST(ProbeFormat, CsvIsTheBoardsOwn)
{
    const ProbeBoard board =
        Snapshot(3, {{0, 2, "a,b"}, {1, 2, "\xCD\xA8\xBB\xB0"}, {2, 2, "=cmd|'/C calc'!A0\x1B"}}, "", 3);
    EXPECT_EQ(board.csv.rfind(
                  "Line,Script File,Status,Keys,Run Info,Agent,Calls,Queue,Status since,Seconds in status\r\n", 0),
              0u);
    EXPECT_NE(board.csv.find("\r\n,,\"a,b\",,,,,,"), std::string::npos);
    EXPECT_NE(board.csv.find("\r\n,,通话,,,,,,"), std::string::npos);
    EXPECT_NE(board.csv.find("\r\n,,'=cmd|'/C calc'!A0\xEF\xBF\xBD,,,,,,"), std::string::npos) << board.csv;
}

TEST(ProbeFormat, SecondsInStatusFollowTheBoardsClock)
{
    FakeBoardClock clock;
    TagRunCfg cfg;
    TagMonitor board(2);
    {
        BoardLock lock(board.Lock);
        board.SetCell("Idle", 4, 0, 2, 0, 15);
    }
    FakeBoardClock::Advance(42s);
    {
        BoardLock lock(board.Lock);
        board.SetCell("Idle", 4, 0, 2, 0, 15);
        board.SetCell("Busy", 4, 1, 2, 0, 15);
    }
    FakeBoardClock::Advance(3s);
    BoardLock lock(board.Lock);
    const ProbeBoard snap = TakeSnapshot(board, cfg, "", 2, CsvClockNow(board));
    EXPECT_EQ(snap.secondsInStatus, (std::vector<long long>{45, 3}));
    JsonValue doc;
    std::string why;
    ASSERT_TRUE(ParseJson(FormatJson(snap), doc, why)) << why;
    EXPECT_EQ(doc["lines"][0]["secondsInStatus"].number, 45);
    EXPECT_EQ(doc["lines"][1]["secondsInStatus"].number, 3);
}

namespace {

// The performance data of a check line: label (unquoted) and value, in order.
std::vector<std::pair<std::string, std::string>> PerfData(const std::string& line)
{
    std::vector<std::pair<std::string, std::string>> data;
    const size_t bar = line.find(" | ");
    if (bar == std::string::npos)
        return data;
    const std::string perf = line.substr(bar + 3);
    for (size_t i = 0; i < perf.size();) {
        std::string label;
        if (perf[i] == '\'') {
            for (++i; i < perf.size(); ++i) {
                if (perf[i] == '\'' && i + 1 < perf.size() && perf[i + 1] == '\'')
                    label += perf[i++];
                else if (perf[i] == '\'')
                    break;
                else
                    label += perf[i];
            }
            ++i;
        } else {
            while (i < perf.size() && perf[i] != '=')
                label += perf[i++];
        }
        EXPECT_EQ(i < perf.size() ? perf[i] : '?', '=') << perf;
        const size_t end = std::min(perf.find(' ', i), perf.size());
        data.emplace_back(label, perf.substr(i + 1, end - i - 1));
        i = end + 1;
    }
    return data;
}

size_t CodePoints(const std::string& utf8)
{
    size_t n = 0;
    for (size_t i = 0; i < utf8.size();) {
        NextCodePoint(utf8, i);
        ++n;
    }
    return n;
}

std::string Repeat(const std::string& text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

} // namespace

TEST(ProbeFormat, CheckJudgesTheStatusWhoseTextIsTheOneAsked)
{
    const std::string gbk = "\xBF\xD5\xCF\xD0";               // 空闲 in GBK
    const std::string utf8Bytes = "\xE7\xA9\xBA\xE9\x97\xB2"; // 空闲 in UTF-8, sent raw: decodes to other text
    const struct {
        int gbkLines;
        int rawLines;
        std::string status;
        ProbeState state;
        std::string judged; // as the check line names it, with its count
    } cases[] = {
        // The decoded text wins wherever the raw bytes also match another status, whichever is larger.
        {9, 1, "空闲", kProbeCritical, "空闲 9 (critical: -c 5)"},
        {1, 9, "空闲", kProbeOk, "空闲 1"},
        {3, 3, "空闲", kProbeOk, "空闲 3"},
        // GBK bytes typed on a GBK terminal: no text decodes to them, the raw bytes name the status.
        {9, 1, gbk, kProbeCritical, "空闲 9 (critical: -c 5)"},
        {1, 9, gbk, kProbeOk, "空闲 1"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> statuses(size_t(c.gbkLines), gbk);
        statuses.insert(statuses.end(), size_t(c.rawLines), utf8Bytes);
        const ProbeRound round = Ok(Snapshot(int(statuses.size()), FullBoard(statuses)));
        ASSERT_EQ(round.board.statuses.size(), 2u);
        const ProbeCheck check = FormatCheck(round, CheckOptions(c.status, nullptr, "5"));
        EXPECT_EQ(check.state, c.state) << check.line;
        EXPECT_NE(check.line.find(", " + c.judged), std::string::npos) << check.line;
    }
}

TEST(ProbeFormat, PerformanceLabelsAreDistinctAndNeverTheTotals)
{
    const std::vector<std::string> statuses = {
        "a|b", "a/b", "a/b_2", "=", "_", "", "(empty)", "lines", "lines_2", "it's", "it''s", "x y", "x_y",
    };
    const ProbeRound round = Ok(Snapshot(int(statuses.size()), FullBoard(statuses)));
    const ProbeCheck check = FormatCheck(round, CheckOptions("lines", "0"));
    const auto data = PerfData(check.line);
    ASSERT_GE(data.size(), 11u) << check.line;
    EXPECT_EQ(data[0], (std::pair<std::string, std::string>{"lines", std::to_string(statuses.size())}));
    std::set<std::string> labels;
    for (const auto& [label, value] : data) {
        EXPECT_TRUE(labels.insert(label).second) << "label " << label << " twice: " << check.line;
        EXPECT_EQ(label.find('='), std::string::npos);
    }
    // The judged status named "lines" has a label of its own, with the thresholds.
    bool judgedSeen = false;
    for (size_t i = 1; i < data.size(); ++i)
        judgedSeen = judgedSeen || (data[i].first.rfind("lines_", 0) == 0 && data[i].second == "1;0;;0;13");
    EXPECT_TRUE(judgedSeen) << check.line;
    EXPECT_EQ(check.state, kProbeWarning);
}

TEST(ProbeFormat, CheckNamesAndTheWholeLineStayWithinTheirBounds)
{
    // Long names that agree in their first 40 characters, most of them three bytes in UTF-8.
    std::vector<std::string> statuses;
    for (int s = 0; s < 14; ++s) {
        const std::string name = Repeat("\xBF\xD5", 60) + std::string(1, char('a' + s));
        for (int n = 0; n < 20 - s; ++n)
            statuses.push_back(name);
    }
    const std::string rare = Repeat("\xCD\xA8", 50) + "z"; // one line, judged: never left out
    statuses.push_back(rare);
    const ProbeRound round = Ok(Snapshot(int(statuses.size()), FullBoard(statuses)));
    const ProbeCheck check = FormatCheck(round, CheckOptions(Repeat("通", 50) + "z", "0:0", "0:0"));
    EXPECT_LE(check.line.size(), kCheckLineBytes) << check.line;
    EXPECT_EQ(check.state, kProbeCritical);
    EXPECT_NE(check.line.find(" 1 (critical: -c 0:0), "), std::string::npos) << check.line;
    EXPECT_NE(check.line.find(" more | "), std::string::npos) << check.line;
    const auto data = PerfData(check.line);
    ASSERT_GE(data.size(), 3u);
    std::set<std::string> labels;
    for (const auto& [label, value] : data) {
        EXPECT_LE(CodePoints(label), kCheckNameChars) << label;
        EXPECT_TRUE(labels.insert(label).second) << label;
    }
    EXPECT_EQ(data.back().second, "1;0:0;0:0;0;" + std::to_string(statuses.size())) << "the judged one is kept";
    // The names in the text: "…" ends every name that was cut, at 40 characters.
    const std::string cut = Repeat("空", 39) + kEllipsis;
    EXPECT_NE(check.line.find(", " + cut + " 20"), std::string::npos) << check.line;
    EXPECT_NE(check.line.find(", " + Repeat("通", 39) + kEllipsis + " 1 "), std::string::npos) << check.line;

    // A reason or a range of any length still makes a line within the bound.
    ProbeRound failed;
    failed.reason = Repeat("no answer ", 500);
    EXPECT_LE(FormatCheck(failed, CheckOptions()).line.size(), kCheckLineBytes);
    EXPECT_LE(UnknownCheckLine(Repeat("x", 5000)).size(), kCheckLineBytes);
}

TEST(ProbeFormat, MetricsNameTheLargestStatusesAndSumTheRest)
{
    // 60 statuses: status i on 61 - i lines ("s00" the largest); one named as the rest's series.
    std::vector<std::string> statuses;
    int total = 0;
    for (int s = 0; s < 60; ++s) {
        const std::string name = s == 7 ? std::string(kPrometheusOther) : Format("s%02d", s);
        for (int n = 0; n < 61 - s; ++n, ++total)
            statuses.push_back(name);
    }
    // Two long texts alike in their first 128 characters, and a control character.
    for (const char* tail : {"1", "2"}) {
        for (int n = 0; n < 70; ++n, ++total)
            statuses.push_back(Repeat("\xBF\xD5", 200) + tail + "\x1B");
    }
    const std::string text = FormatPrometheus(Ok(Snapshot(total, FullBoard(statuses))));
    std::vector<std::string> series;
    for (const std::string& line : Lines(text)) {
        if (line.rfind("quorvane_lines_by_status{", 0) == 0)
            series.push_back(line);
    }
    ASSERT_EQ(series.size(), kPrometheusStatuses + 1) << text;
    std::set<std::string> values;
    int sum = 0;
    for (const std::string& line : series) {
        const size_t open = line.find("status=\"") + 8;
        const size_t close = line.rfind("\"}");
        const std::string value = line.substr(open, close - open);
        EXPECT_LE(CodePoints(value), kPrometheusLabelChars) << value;
        EXPECT_TRUE(values.insert(value).second) << "two series of one label: " << value;
        EXPECT_EQ(value.find('\x1B'), std::string::npos);
        sum += std::stoi(line.substr(close + 3));
    }
    EXPECT_EQ(sum, total) << "every line counted once";
    // The largest first (the two long texts, 70 lines each), the rest summed under "(other)" last.
    EXPECT_EQ(series.front(), "quorvane_lines_by_status{status=\"" + Repeat("空", 127) + kEllipsis + "\"} 70");
    int rest = 0; // s48 to s59
    for (int s = kPrometheusStatuses - 2; s < 60; ++s)
        rest += 61 - s;
    EXPECT_EQ(series.back(), "quorvane_lines_by_status{status=\"(other)\"} " + std::to_string(rest)) << text;
    EXPECT_TRUE(values.count("(other) (2)")) << "the status named (other) keeps its own series";
}

TEST(ProbeFormat, TableColumnsStayWithinTheirWidth)
{
    const ProbeBoard board = Snapshot(2, {{0, 4, Repeat("x", 30000)}, {1, 4, Repeat("\xBF\xD5", 100)}, {1, 5, "short"}},
                                      Repeat("\xCF\xDF", 2000));
    const std::string table = FormatTable(board);
    std::vector<std::string> lines = Lines(table);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], Repeat("线", kTableSummaryWidth / 2 - 1) + kEllipsis) << "the summary no wider than the table";
    lines.erase(lines.begin());
    EXPECT_NE(lines[1].find(Repeat("x", 59) + kEllipsis), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find(Repeat("空", 29) + kEllipsis + "   short"), std::string::npos) << lines[2];
    for (const std::string& line : lines)
        EXPECT_LE(DisplayWidth(line), 8 * kTableColumnWidth + 7 * 2);
}

TEST(JsonReader, RefusesWhatIsNotJson)
{
    for (const char* bad : {"", "{", "{\"a\":1,}", "[1,]", "{\"a\" 1}", "\"tab\there\"", "\"\\x\"", "01", "1.", "nul",
                            "{\"a\":1}{", "\"\\ud800\"", "{\"a\":1,\"a\":2}"}) {
        JsonValue v;
        std::string why;
        EXPECT_FALSE(ParseJson(bad, v, why)) << bad;
    }
    JsonValue v;
    std::string why;
    ASSERT_TRUE(ParseJson(" {\"a\": [1, -2.5e3, true, null, \"\\u00e9\\ud83d\\ude00\"]} ", v, why)) << why;
    EXPECT_EQ(v["a"][1].number, -2500);
    EXPECT_EQ(v["a"][4].text, "\xC3\xA9\xF0\x9F\x98\x80");
}
