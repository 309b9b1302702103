// The real quorvane-probe against the real quorvane-sim over loopback, with a relay in between that
// keeps every byte the simulator sent, so the probe's output can be checked against those frames.

#include "FrameDecoder.h"
#include "JsonReader.h"
#include "board/Board.h"
#include "platform/Utf8.h"
#include "probe/ProbeFormat.h"
#include "probe/ProbeText.h"
#include "support/LoopbackRelay.h"
#include "support/LoopbackServer.h"
#include "support/SimProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

using namespace std::chrono_literals;

namespace {

// A relay that keeps what the simulator sent on each connection.
class RecordingRelay {
public:
    explicit RecordingRelay(int target)
        : relay_(target, [this](int connection, std::string_view bytes, LoopbackRelay::Clock::time_point) {
              std::lock_guard lock(mutex_);
              if (connections_.size() <= size_t(connection))
                  connections_.resize(size_t(connection) + 1);
              connections_[size_t(connection)].append(bytes);
          })
    {
        EXPECT_TRUE(relay_.ok()) << "relay: " << std::strerror(errno);
    }
    int port() const { return relay_.port(); }
    // What the simulator sent on each connection so far.
    std::vector<std::string> FromServer() const
    {
        std::lock_guard lock(mutex_);
        std::vector<std::string> sent = connections_;
        sent.resize(std::max(sent.size(), size_t(relay_.connections())));
        return sent;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> connections_;
    LoopbackRelay relay_; // last: its thread is stopped before the record goes
};

struct Probed {
    int status = -1;
    std::string out;
    std::string err;
};

Probed Probe(int port, std::vector<std::string> more)
{
    std::vector<std::string> args = {"--host", "127.0.0.1", "--port", std::to_string(port)};
    args.insert(args.end(), more.begin(), more.end());
    Probed p;
    p.status = RunToEnd(QUORVANE_PROBE_PATH, args, p.out, p.err, 60s);
    return p;
}

struct ExpectedCell {
    std::string text; // GBK
    int fore = 0;     // palette indexes; -1: never set (black on white)
    int back = -1;
};

// The board the frames build, by the rules of the board itself, written out here again.
struct ExpectedBoard {
    int lineCount = 0;
    int answers = 0;
    std::string summary;
    std::vector<std::array<ExpectedCell, 8>> lines;
};

ExpectedBoard Replay(const std::string& bytes)
{
    ExpectedBoard board;
    std::string_view rest = bytes;
    while (const size_t size = CompleteFrameSize(rest)) {
        DecodedFrame frame;
        std::string why;
        EXPECT_TRUE(DecodeFrame(rest.substr(0, size), frame, &why)) << why;
        rest.remove_prefix(size);
        ++board.answers;
        if (frame.lineCount != board.lineCount) {
            board.lineCount = frame.lineCount;
            board.lines.assign(size_t(std::max(1, frame.lineCount)), {});
        }
        for (const DecodedRecord& r : frame.records) {
            if (r.line == -1) {
                board.summary = r.text;
            } else if (r.line >= 0 && r.line < board.lineCount && r.column >= 0 && r.column < 8) {
                ExpectedCell& cell = board.lines[size_t(r.line)][size_t(r.column)];
                cell.text = r.text;
                if (r.fore >= 0 && r.fore <= 15)
                    cell.fore = r.fore;
                if (r.back >= 0 && r.back <= 15)
                    cell.back = r.back;
            }
        }
    }
    EXPECT_TRUE(rest.empty()) << rest.size() << " bytes after the last whole frame";
    return board;
}

std::string Rgb(TColor c)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "#%02X%02X%02X", unsigned(c & 0xFF), unsigned((c >> 8) & 0xFF),
                  unsigned((c >> 16) & 0xFF));
    return hex;
}

void ExpectJsonIsTheBoard(const std::string& json, const ExpectedBoard& expected)
{
    JsonValue doc;
    std::string why;
    ASSERT_TRUE(ParseJson(json, doc, why)) << why;
    EXPECT_EQ(doc["lineCount"].number, expected.lineCount);
    EXPECT_EQ(doc["answers"].number, expected.answers);
    EXPECT_TRUE(doc["complete"].boolean);
    EXPECT_EQ(doc["summary"].text, GbkToUtf8(expected.summary));
    ASSERT_EQ(doc["lines"].items.size(), expected.lines.size());
    int mismatches = 0;
    for (size_t i = 0; i < expected.lines.size() && mismatches < 10; ++i) {
        const JsonValue& line = doc["lines"][i];
        EXPECT_EQ(line["line"].number, double(i));
        ASSERT_EQ(line["cells"].items.size(), 8u);
        for (size_t k = 0; k < 8; ++k) {
            const ExpectedCell& want = expected.lines[i][k];
            const JsonValue& got = line["cells"][k];
            const std::string fore = Rgb(LinePalette[want.fore]);
            const std::string back = want.back < 0 ? "#FFFFFF" : Rgb(LinePalette[want.back]);
            if (got["text"].text != GbkToUtf8(want.text) || got["color"].text != fore ||
                got["background"].text != back) {
                ADD_FAILURE() << "line " << i << " column " << k << ": " << got["text"].text << " " << got["color"].text
                              << " " << got["background"].text;
                ++mismatches;
            }
        }
    }
}

std::vector<std::string> Lines(const std::string& text, const char* end = "\n")
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t e; (e = text.find(end, start)) != std::string::npos; start = e + std::strlen(end))
        lines.push_back(text.substr(start, e - start));
    EXPECT_EQ(start, text.size()) << "the last line has no end";
    return lines;
}

// Lines per status of the board the frames built (column 2), in UTF-8.
std::map<std::string, int> StatusCounts(const ExpectedBoard& board)
{
    std::map<std::string, int> counts;
    for (const auto& line : board.lines)
        ++counts[GbkToUtf8(line[2].text)];
    return counts;
}

} // namespace

TEST(ProbeSim, JsonIsTheWholeBoardTheSimulatorSent)
{
    const struct {
        std::vector<std::string> sim;
        bool severalAnswers;
    } cases[] = {
        {{"--lines", "5", "--seed", "7"}, false},
        // 2048 lines do not fit one answer: the board fills over several, while lines change.
        {{"--lines", "2048", "--language", "zh"}, true},
        {{"--lines", "2048", "--length", "binary", "--change-rate", "0.5", "--seed", "3"}, true},
        {{"--lines", "300", "--chunk", "700"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sim[1]);
        SimProcess sim(c.sim);
        ASSERT_TRUE(sim.running()) << sim.error();
        RecordingRelay relay(sim.port());
        const Probed run = Probe(relay.port(), {"--format", "json"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const std::vector<std::string> sent = relay.FromServer();
        ASSERT_EQ(sent.size(), 1u);
        const ExpectedBoard expected = Replay(sent[0]);
        EXPECT_EQ(expected.answers > 1, c.severalAnswers) << expected.answers;
        ExpectJsonIsTheBoard(run.out, expected);
    }
}

TEST(ProbeSim, TableCsvAndMetricsOfOneBoard)
{
    // With no changes every client is sent the same board, so the formats can be compared.
    SimProcess sim({"--lines", "40", "--change-rate", "0", "--language", "zh"});
    ASSERT_TRUE(sim.running()) << sim.error();
    RecordingRelay relay(sim.port());
    const Probed json = Probe(relay.port(), {"--format", "json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const ExpectedBoard board = Replay(relay.FromServer().at(0));
    const std::map<std::string, int> counts = StatusCounts(board);

    const Probed table = Probe(sim.port(), {});
    ASSERT_EQ(table.status, 0) << table.err;
    const std::vector<std::string> rows = Lines(table.out);
    ASSERT_EQ(rows.size(), 42u) << "summary, header, 40 lines";
    EXPECT_EQ(rows[0], GbkToUtf8(board.summary));
    EXPECT_EQ(rows[1].rfind("线路  脚本文件", 0), 0u) << rows[1];
    for (int i = 0; i < 40; ++i) {
        const std::string& row = rows[size_t(i) + 2];
        EXPECT_EQ(row.rfind(std::to_string(i) + " ", 0), 0u) << row;
        EXPECT_NE(row.find(GbkToUtf8(board.lines[size_t(i)][2].text)), std::string::npos) << row;
    }

    const Probed csv = Probe(sim.port(), {"--format", "csv", "--column", "7"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    const std::vector<std::string> records = Lines(csv.out, "\r\n");
    ASSERT_EQ(records.size(), 41u);
    EXPECT_EQ(records[0],
              "线路,脚本文件,状态,当前按键,运行信息,用户消息1,用户消息2,用户消息3,Status since,Seconds in status");
    for (int i = 0; i < 40; ++i) {
        std::string expected;
        for (int k = 0; k < 8; ++k)
            expected += GbkToUtf8(board.lines[size_t(i)][size_t(k)].text) + ",";
        EXPECT_EQ(records[size_t(i) + 1].rfind(expected, 0), 0u) << records[size_t(i) + 1];
        EXPECT_EQ(records[size_t(i) + 1].substr(records[size_t(i) + 1].size() - 2), ",0");
    }

    const Probed metrics = Probe(sim.port(), {"--format", "prometheus"});
    ASSERT_EQ(metrics.status, 0) << metrics.err;
    EXPECT_NE(metrics.out.find("\nquorvane_link_up 1\n"), std::string::npos);
    EXPECT_NE(metrics.out.find("\nquorvane_lines 40\n"), std::string::npos);
    int sum = 0;
    for (const auto& [status, lines] : counts) {
        const std::string sample =
            "\nquorvane_lines_by_status{status=\"" + status + "\"} " + std::to_string(lines) + "\n";
        EXPECT_NE(metrics.out.find(sample), std::string::npos) << sample << metrics.out;
        sum += lines;
    }
    EXPECT_EQ(sum, 40);
}

TEST(ProbeSim, EveryCheckExitCode)
{
    SimProcess sim({"--lines", "64", "--change-rate", "0"});
    ASSERT_TRUE(sim.running()) << sim.error();
    RecordingRelay relay(sim.port());
    ASSERT_EQ(Probe(relay.port(), {"--polls", "1", "--format", "csv"}).status, 0);
    const std::map<std::string, int> counts = StatusCounts(Replay(relay.FromServer().at(0)));
    ASSERT_TRUE(counts.count("Idle")) << "the simulator's first board has idle lines";
    const std::string idle = std::to_string(counts.at("Idle"));
    const std::string fewer = std::to_string(counts.at("Idle") - 1);

    SimProcess stalled({"--lines", "64", "--stall-after", "0"});
    ASSERT_TRUE(stalled.running()) << stalled.error();
    SimProcess stopped({"--lines", "64"});
    ASSERT_TRUE(stopped.running()) << stopped.error();
    const int stoppedPort = stopped.port();
    ASSERT_EQ(stopped.Stop(SIGTERM), 0);

    const struct {
        int port;
        std::vector<std::string> args;
        int status;
        std::string starts;
    } cases[] = {
        {sim.port(), {}, 0, "QUORVANE OK - 64 lines, "},
        {sim.port(), {"-s", "Idle", "-w", idle, "-c", idle + ":"}, 0, "QUORVANE OK - 64 lines, "},
        {sim.port(), {"-s", "Idle", "-w", fewer, "-c", idle + ":"}, 1, "QUORVANE WARNING - 64 lines, "},
        {sim.port(), {"-s", "Idle", "-w", fewer, "-c", fewer}, 2, "QUORVANE CRITICAL - 64 lines, "},
        {sim.port(), {"-s", "Idle", "-c", "@" + idle + ":" + idle}, 2, "QUORVANE CRITICAL - 64 lines, "},
        {sim.port(), {"-s", "Nobody", "-w", "1:"}, 1, "QUORVANE WARNING - 64 lines, "},
        {stalled.port(), {"-t", "1"}, 2, "QUORVANE CRITICAL - no complete answer within 1 s"},
        {stoppedPort, {"-t", "1"}, 2, "QUORVANE CRITICAL - cannot connect to 127.0.0.1:"},
        {sim.port(), {"-t", "0"}, 3, "QUORVANE UNKNOWN - --timeout needs seconds"},
        {sim.port(), {"--bogus"}, 3, "QUORVANE UNKNOWN - unknown option '--bogus'"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--check"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Probed run = Probe(c.port, args);
        EXPECT_EQ(run.status, c.status) << run.out << run.err;
        EXPECT_EQ(run.out.rfind(c.starts, 0), 0u) << run.out;
        EXPECT_EQ(Lines(run.out).size(), 1u) << "one status line";
        if (c.starts.find("64 lines") != std::string::npos) {
            EXPECT_NE(run.out.find(", Idle " + idle), std::string::npos) << run.out;
        }
    }
}

TEST(ProbeSim, AStallAfterTheFirstAnswerGivesWhatArrived)
{
    SimProcess sim({"--lines", "2048", "--stall-after", "1"});
    ASSERT_TRUE(sim.running()) << sim.error();
    const Probed run = Probe(sim.port(), {"--check", "-t", "1"});
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find(", board incomplete ("), std::string::npos) << run.out;
}

TEST(ProbeSim, HostileAnswersEndWithTheMonitorsReason)
{
    const struct {
        std::vector<std::string> sim;
        std::string reason;
    } cases[] = {
        {{"--garbage-after", "0"},
         "quorvane-probe: the server's answer was refused: packLen Err, packLen=1, size=16\n"},
        {{"--garbage-after", "1", "--lines", "2048"},
         "quorvane-probe: the server's answer was refused: packLen Err, "
         "packLen=1, size=16\n"},
        {{"--oversize-after", "0"}, "quorvane-probe: the server's answer was refused: packLen Err, packLen="},
        {{"--close-after", "1", "--lines", "2048"},
         "quorvane-probe: the server closed the connection: recv()<=0, len=0, errNo=0[0x0]\n"},
    };
    for (const auto& c : cases) {
        SimProcess sim(c.sim);
        ASSERT_TRUE(sim.running()) << sim.error();
        const Probed run = Probe(sim.port(), {"--format", "json", "-t", "5"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind(c.reason, 0), 0u) << run.err;
    }
}

TEST(ProbeSim, WatchPrintsARoundPerPeriodOnOneConnection)
{
    SimProcess sim({"--lines", "10"});
    ASSERT_TRUE(sim.running()) << sim.error();
    RecordingRelay relay(sim.port());
    const Probed run = Probe(relay.port(), {"--watch", "0.1", "--count", "3", "--format", "json"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<JsonValue> docs;
    std::string why;
    ASSERT_TRUE(ParseJsonStream(run.out, docs, why)) << why;
    ASSERT_EQ(docs.size(), 3u);
    EXPECT_EQ(docs[0]["answers"].number, 1);
    EXPECT_EQ(docs[2]["answers"].number, 1);
    ASSERT_EQ(relay.FromServer().size(), 1u) << "one connection for every round";
    // The last document is the board all three answers built.
    ExpectJsonIsTheBoard(run.out.substr(run.out.rfind("{\"lineCount\"")), [&] {
        ExpectedBoard b = Replay(relay.FromServer()[0]);
        b.answers = 1;
        return b;
    }());
}

namespace {

// Bytes that would steer a terminal or a reader: C0 other than the given line ends, DEL, the C1
// controls and the bidirectional overrides and isolates in UTF-8. Also any byte that is not UTF-8.
void ExpectNeutral(const std::string& out, const std::string& lineEnds, const char* what)
{
    int found = 0;
    for (size_t i = 0; i < out.size() && found < 5;) {
        const size_t at = i;
        const char32_t c = NextCodePoint(out, i);
        const bool lineEnd = c < 0x80 && lineEnds.find(char(c)) != std::string::npos;
        const bool malformed = c == 0xFFFD && out.compare(at, 3, "\xEF\xBF\xBD") != 0;
        if ((IsSteering(c) && !lineEnd) || malformed) {
            ADD_FAILURE() << what << ": U+" << std::hex << unsigned(c) << " at byte " << std::dec << at;
            ++found;
        }
    }
}

// The fields of one CSV record (RFC 4180), unquoted.
std::vector<std::string> CsvFields(const std::string& record)
{
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < record.size(); ++i) {
        const char c = record[i];
        if (quoted && c == '"' && i + 1 < record.size() && record[i + 1] == '"')
            fields.back() += record[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

size_t CodePoints(const std::string& utf8)
{
    size_t n = 0;
    for (size_t i = 0; i < utf8.size(); ++n)
        NextCodePoint(utf8, i);
    return n;
}

} // namespace

// Under ThreadSanitizer the simulator and the probe run many times slower: a smaller board still
// holds every kind of text and more statuses than any bound keeps.
#if defined(__SANITIZE_THREAD__)
constexpr bool kThreadSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kThreadSanitizer = true;
#else
constexpr bool kThreadSanitizer = false;
#endif
#else
constexpr bool kThreadSanitizer = false;
#endif

TEST(ProbeSim, EveryFormatOfAHostileBoardIsNeutralAndBounded)
{
    const int mixLines = kThreadSanitizer ? 256 : 2048;
    const int longLines = kThreadSanitizer ? 60 : 150;
    const struct {
        std::vector<std::string> sim;
        int lines;
    } cases[] = {
        {{"--hostile", "--lines", std::to_string(mixLines), "--change-rate", "0"}, mixLines},
        {{"--hostile=long", "--lines", std::to_string(longLines), "--change-rate", "0", "--language", "zh"}, longLines},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sim[0]);
        SimProcess sim(c.sim);
        ASSERT_GT(sim.port(), 0);
        RecordingRelay relay(sim.port());

        // JSON: every text exactly as the server sent it, the controls escaped.
        const Probed json = Probe(relay.port(), {"--format", "json", "-t", "60"});
        ASSERT_EQ(json.status, 0) << json.err;
        EXPECT_EQ(json.err, "");
        ExpectNeutral(json.out, "\n", "json");
        const ExpectedBoard board = Replay(relay.FromServer().at(0));
        ASSERT_EQ(board.lineCount, c.lines);
        ExpectJsonIsTheBoard(json.out, board);
        std::set<std::string> statuses;
        for (const auto& line : board.lines)
            statuses.insert(line[2].text);
        EXPECT_EQ(statuses.size(), size_t(c.lines)) << "a distinct status on every line";

        const Probed table = Probe(sim.port(), {"-t", "60"});
        ASSERT_EQ(table.status, 0) << table.err;
        ExpectNeutral(table.out, "\n", "table");
        const std::vector<std::string> rows = Lines(table.out);
        ASSERT_EQ(rows.size(), size_t(c.lines) + 2) << "summary, header, a row per line";
        for (size_t i = 1; i < rows.size(); ++i)
            ASSERT_LE(DisplayWidth(rows[i]), 8 * kTableColumnWidth + 7 * 2) << rows[i];

        const Probed csv = Probe(sim.port(), {"--format", "csv", "-t", "60"});
        ASSERT_EQ(csv.status, 0) << csv.err;
        ExpectNeutral(csv.out, "\r\n", "csv");
        EXPECT_NE(csv.out.rfind("\xEF\xBB\xBF", 0), 0u) << "no byte order mark from the probe";
        const std::vector<std::string> records = Lines(csv.out, "\r\n");
        ASSERT_EQ(records.size(), size_t(c.lines) + 1);
        for (size_t r = 1; r < records.size(); ++r) {
            const std::vector<std::string> fields = CsvFields(records[r]);
            ASSERT_EQ(fields.size(), 10u) << records[r];
            for (const std::string& field : fields) {
                ASSERT_TRUE(field.empty() || std::string("=+-@\t\r").find(field[0]) == std::string::npos)
                    << "a formula reaches the spreadsheet: " << field;
            }
        }

        const Probed metrics = Probe(sim.port(), {"--format", "prometheus", "-t", "60"});
        ASSERT_EQ(metrics.status, 0) << metrics.err;
        ExpectNeutral(metrics.out, "\n", "prometheus");
        std::set<std::string> values;
        int series = 0, sum = 0;
        for (const std::string& line : Lines(metrics.out)) {
            if (line.rfind("quorvane_lines_by_status{status=\"", 0) != 0)
                continue;
            ++series;
            const size_t close = line.rfind("\"} ");
            const std::string value = line.substr(33, close - 33);
            EXPECT_LE(CodePoints(value), kPrometheusLabelChars + 8) << "the escapes' backslashes aside";
            EXPECT_TRUE(values.insert(value).second) << value;
            sum += std::stoi(line.substr(close + 3));
        }
        EXPECT_EQ(series, int(std::min(statuses.size(), kPrometheusStatuses + 1)));
        EXPECT_EQ(sum, c.lines);
        EXPECT_LT(metrics.out.size(), size_t(64 * 1024)) << "a scrape of a bounded size";

        const Probed check = Probe(sim.port(), {"--check", "-t", "60"});
        EXPECT_EQ(check.status, 0) << check.out << check.err;
        ExpectNeutral(check.out, "\n", "check");
        ASSERT_EQ(Lines(check.out).size(), 1u);
        EXPECT_LE(check.out.size() - 1, kCheckLineBytes) << check.out;
        EXPECT_NE(check.out.find(" more | lines=" + std::to_string(c.lines) + " "), std::string::npos) << check.out;
    }
}

TEST(ProbeSim, InstalledHelpListsEveryOption)
{
    Probed run;
    run.status = RunToEnd(QUORVANE_PROBE_PATH, {"--help"}, run.out, run.err, 10s);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("--check"), std::string::npos);
    run.status = RunToEnd(QUORVANE_PROBE_PATH, {"--frobnicate"}, run.out, run.err, 10s);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("Usage: quorvane-probe"), std::string::npos);
}
