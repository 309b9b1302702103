// The probe in-process against a server the test plays byte by byte on loopback: what it prints,
// how it fails, and what it leaves behind.

#include "probe/Probe.h"

#include "JsonReader.h"
#include "board/Board.h"
#include "common/MonitorView.h"
#include "settings/Config.h"
#include "settings/EventLog.h"
#include "support/Frames.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Plays the server in a thread of its own while the probe runs on the test's thread.
class ScriptedServer {
public:
    explicit ScriptedServer(std::function<void(LoopbackServer&)> script)
        : thread_([this, script = std::move(script)] { script(server_); })
    {
    }
    ~ScriptedServer() { thread_.join(); }
    int port() const { return server_.port(); }

private:
    LoopbackServer server_; // listening before the thread starts
    std::thread thread_;
};

// Reads one poll and answers it with reply; false when no poll came.
bool Answer(Peer& peer, const std::string& reply)
{
    if (peer.Read(5, 5s) != "00011")
        return false;
    return reply.empty() || peer.Send(reply);
}

struct ProbeRun {
    int status = -1;
    std::string out;
    std::string err;
};

ProbeRun Probe(std::vector<std::string> args, const LinkTiming& timing = ShortTiming())
{
    args.insert(args.begin(), "quorvane-probe");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    ProbeRun run;
    const ProbeIo io{[&run](std::string_view t) { run.out += t; }, [&run](std::string_view t) { run.err += t; }};
    run.status = RunProbe(int(argv.size()), argv.data(), io, timing);
    return run;
}

std::vector<std::string> At(int port, std::vector<std::string> more)
{
    std::vector<std::string> args = {"--host", "127.0.0.1", "--port", std::to_string(port)};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Records for every cell of lines [first, last) of a board, status texts "S<line % 3>".
std::string Cells(int first, int last)
{
    std::string records;
    for (int i = first; i < last; ++i) {
        for (int k = 0; k < 8; ++k)
            records += Record(i, k, k, 15 - k, k == 2 ? "S" + std::to_string(i % 3) : std::to_string(i * 10 + k));
    }
    return records;
}

// #RRGGBB of a 0x00BBGGRR colour, written here without the probe's help.
std::string Rgb(TColor c)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "#%02X%02X%02X", unsigned(c & 0xFF), unsigned((c >> 8) & 0xFF),
                  unsigned((c >> 16) & 0xFF));
    return hex;
}

class ProbeRunTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        // The probe leaves the process as it found it, and never writes the monitor's log.
        EXPECT_EQ(CurBoard, nullptr);
        EXPECT_EQ(CurView, nullptr);
        EXPECT_FALSE(std::filesystem::exists(kLogFileName));
    }
    ScratchDir dir;
};

} // namespace

TEST_F(ProbeRunTest, OddStatusTextsReachTheMetricsEscaped)
{
    ScriptedServer server([](LoopbackServer& s) {
        Peer peer = s.Accept();
        const std::string records = Record(-1, 0, 0, 15, "\xCF\xDF\xC2\xB7 5") + Record(0, 2, 0, 15, "say \"hi\"") +
                                    Record(1, 2, 0, 15, "C:\\temp") + Record(2, 2, 0, 15, "two\nlines") +
                                    Record(3, 2, 0, 15, "\xCD\xA8\xBB\xB0") + Record(4, 2, 0, 15, "\xCD\xA8\xBB\xB0");
        EXPECT_TRUE(Answer(peer, Frame(5, records)));
        EXPECT_TRUE(peer.WaitClosed());
    });
    const ProbeRun run = Probe(At(server.port(), {"--format", "prometheus", "--polls", "1"}));
    EXPECT_EQ(run.status, 0) << run.err;
    for (const char* sample :
         {"\nquorvane_link_up 1\n", "\nquorvane_lines 5\n", "\nquorvane_lines_by_status{status=\"通话\"} 2\n",
          "\nquorvane_lines_by_status{status=\"say \\\"hi\\\"\"} 1\n",
          "\nquorvane_lines_by_status{status=\"C:\\\\temp\"} 1\n",
          "\nquorvane_lines_by_status{status=\"two\\nlines\"} 1\n", "\nquorvane_answer_seconds 0."})
        EXPECT_NE(run.out.find(sample), std::string::npos) << sample << "\n" << run.out;
    EXPECT_NE(run.err.find("not whole"), std::string::npos) << "--polls 1 stopped a board of few cells";
}

TEST_F(ProbeRunTest, ABoardThatFillsOverSeveralAnswersIsPolledUntilWhole)
{
    ScriptedServer server([](LoopbackServer& s) {
        Peer peer = s.Accept();
        EXPECT_TRUE(Answer(peer, Frame(30, Record(-1, 0, 0, 15, "Lines 30") + Cells(0, 10))));
        // Two answers at once for one poll would be a broken server; one each, split across writes.
        const std::string second = Frame(30, Cells(10, 20), false);
        EXPECT_TRUE(Answer(peer, second.substr(0, 7)));
        std::this_thread::sleep_for(20ms);
        EXPECT_TRUE(peer.Send(second.substr(7)));
        EXPECT_TRUE(Answer(peer, Frame(30, Cells(20, 30))));
        EXPECT_TRUE(peer.WaitClosed()) << "no fourth poll: the board was whole";
    });
    const ProbeRun run = Probe(At(server.port(), {"--format", "json"}));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    JsonValue doc;
    std::string why;
    ASSERT_TRUE(ParseJson(run.out, doc, why)) << why;
    EXPECT_EQ(doc["lineCount"].number, 30);
    EXPECT_TRUE(doc["complete"].boolean);
    EXPECT_EQ(doc["answers"].number, 3);
    EXPECT_EQ(doc["summary"].text, "Lines 30");
    ASSERT_EQ(doc["lines"].items.size(), 30u);
    for (size_t i = 0; i < 30; ++i) {
        for (size_t k = 0; k < 8; ++k) {
            const JsonValue& cell = doc["lines"][i]["cells"][k];
            EXPECT_EQ(cell["text"].text, k == 2 ? "S" + std::to_string(i % 3) : std::to_string(i * 10 + k));
            EXPECT_EQ(cell["color"].text, Rgb(LinePalette[k]));
            EXPECT_EQ(cell["background"].text, Rgb(LinePalette[15 - k]));
        }
    }
}

TEST_F(ProbeRunTest, AServerWithNoLinesIsWholeAtItsFirstAnswer)
{
    ScriptedServer server([](LoopbackServer& s) {
        Peer peer = s.Accept();
        EXPECT_TRUE(Answer(peer, Frame(0, Record(-1, 0, 0, 15, "no lines"))));
        EXPECT_TRUE(peer.WaitClosed()) << "no second poll";
    });
    const ProbeRun run = Probe(At(server.port(), {"--check"}));
    EXPECT_EQ(run.status, 0) << run.err;
    // The board of no lines is the monitor's: one empty line.
    EXPECT_EQ(run.out.rfind("QUORVANE OK - 1 lines, (empty) 1", 0), 0u) << run.out;
}

TEST_F(ProbeRunTest, PollsAndTheTimeOutEndARoundWithWhatHasArrived)
{
    const struct {
        std::vector<std::string> options;
        int answers;
    } cases[] = {
        {{"--polls", "2", "--format", "json"}, 2},
        // The server stops answering after two: the time-out ends the round, the board is printed.
        {{"--timeout", "0.3", "--format", "json"}, 2},
    };
    for (const auto& c : cases) {
        ScriptedServer server([](LoopbackServer& s) {
            Peer peer = s.Accept();
            EXPECT_TRUE(Answer(peer, Frame(3, Cells(0, 1))));
            EXPECT_TRUE(Answer(peer, Frame(3, Cells(1, 2))));
            peer.WaitClosed();
        });
        const ProbeRun run = Probe(At(server.port(), c.options));
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find("the board is not whole: 16 of 24 cells arrived"), std::string::npos) << run.err;
        JsonValue doc;
        std::string why;
        ASSERT_TRUE(ParseJson(run.out, doc, why)) << why;
        EXPECT_EQ(doc["answers"].number, c.answers);
        EXPECT_FALSE(doc["complete"].boolean);
        EXPECT_EQ(doc["lines"][1]["cells"][2]["text"].text, "S1");
        EXPECT_EQ(doc["lines"][2]["cells"][2]["text"].text, "");
    }
}

TEST_F(ProbeRunTest, RefusedAnswersEndWithTheMonitorsReasonNeverAHang)
{
    const struct {
        std::string reply;
        std::string reason;
    } cases[] = {
        {"0001\xFFgarbage", "packLen Err, packLen=1, size=12"},
        {Binary32(0) + "xx", "packLen Err, packLen=0, size=6"},
        {Binary32(30000) + "x", "packLen Err, packLen=30000, size=5"},
        {Binary32(0x7FFFFFFF) + "x", "packLen Err, packLen=2147483647, size=5"},
        {Binary32(0x80000000) + "x", "packLen Err, packLen=-2147483648, size=5"},
        {Frame(2049, ""), "line count 2049 outside 0 to 2048"},
        {Frame(-1, ""), "line count -1 outside 0 to 2048"},
        {Frame(2, std::string("\0\0\2\0\15Idle", 9)), "frame Err, pos=6, packLen=11"},
        {Frame(2, Record(0, 2, 0, 15, "Idle") + "xx"), "frame Err, pos=16, packLen=14"},
    };
    for (const auto& c : cases) {
        for (const bool check : {false, true}) {
            SCOPED_TRACE(c.reason);
            ScriptedServer server([&c](LoopbackServer& s) {
                Peer peer = s.Accept();
                EXPECT_TRUE(Answer(peer, c.reply));
                EXPECT_TRUE(peer.WaitClosed());
            });
            std::vector<std::string> options = {"--timeout", "5"};
            if (check)
                options.push_back("--check");
            const ProbeRun run = Probe(At(server.port(), options));
            const std::string reason = "the server's answer was refused: " + c.reason;
            if (check) {
                EXPECT_EQ(run.status, 2);
                EXPECT_EQ(run.out, "QUORVANE CRITICAL - " + reason + "\n");
            } else {
                EXPECT_EQ(run.status, 1);
                EXPECT_EQ(run.out, "");
                EXPECT_EQ(run.err, "quorvane-probe: " + reason + "\n");
            }
        }
    }
}

TEST_F(ProbeRunTest, AServerThatClosesStallsOrIsDown)
{
    RefusingPort down;
    const struct {
        std::function<void(LoopbackServer&)> script;
        bool refusing;
        std::string reason;
    } cases[] = {
        {[](LoopbackServer& s) {
             Peer peer = s.Accept();
             peer.Read(5, 5s);
             peer.Close();
         },
         false, "the server closed the connection: recv()<=0, len=0, errNo=0[0x0]"},
        {[](LoopbackServer& s) {
             Peer peer = s.Accept();
             peer.Read(5, 5s);
             peer.WaitClosed();
         },
         false, "no complete answer within 0.3 s"},
        {[](LoopbackServer& s) {
             Peer peer = s.Accept();
             EXPECT_TRUE(Answer(peer, Frame(1, Cells(0, 1)).substr(0, 9)));
             peer.WaitClosed();
         },
         false, "no complete answer within 0.3 s (9 bytes of one arrived)"},
        {nullptr, true, "cannot connect to 127.0.0.1:" + std::to_string(down.port()) + ": no connection within 0.3 s"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        std::optional<ScriptedServer> server;
        if (c.script)
            server.emplace(c.script);
        const int port = c.refusing ? down.port() : server->port();
        const ProbeRun plain = Probe(At(port, {"--timeout", "0.3"}));
        EXPECT_EQ(plain.status, 1);
        EXPECT_EQ(plain.out, "");
        EXPECT_EQ(plain.err, "quorvane-probe: " + c.reason + "\n");
        server.reset();
        if (c.script)
            server.emplace(c.script);
        const ProbeRun check = Probe(At(c.refusing ? down.port() : server->port(), {"--timeout", "0.3", "--check"}));
        EXPECT_EQ(check.status, 2);
        EXPECT_EQ(check.out, "QUORVANE CRITICAL - " + c.reason + "\n");
        server.reset();
        if (c.script)
            server.emplace(c.script);
        const ProbeRun metrics =
            Probe(At(c.refusing ? down.port() : server->port(), {"--timeout", "0.3", "--format", "prometheus"}));
        EXPECT_EQ(metrics.status, 1);
        EXPECT_NE(metrics.out.find("\nquorvane_link_up 0\n"), std::string::npos) << metrics.out;
    }
}

TEST_F(ProbeRunTest, WatchRoundsOnOneConnectionAndReconnectsAsTheMonitorDoes)
{
    ScriptedServer server([](LoopbackServer& s) {
        Peer first = s.Accept();
        EXPECT_TRUE(Answer(first, Frame(1, Cells(0, 1) + Record(-1, 0, 0, 15, "one"))));
        EXPECT_TRUE(Answer(first, Frame(1, Record(0, 2, 0, 15, "S9"))));
        EXPECT_TRUE(Answer(first, "")); // the third round's poll: the server goes away instead
        first.Close();
        Peer second = s.Accept();
        ASSERT_TRUE(second.valid());
        EXPECT_TRUE(Answer(second, Frame(1, Record(0, 2, 0, 15, "S8"))));
        second.WaitClosed();
    });
    const ProbeRun run =
        Probe(At(server.port(), {"--watch", "0.05", "--count", "4", "--check", "-s", "S8", "-w", "0"}));
    EXPECT_EQ(run.status, 1) << "the last round's state";
    // S8 is the judged status: named last, with 0 lines, while no line shows it.
    EXPECT_EQ(run.out, "QUORVANE OK - 1 lines, S0 1, S8 0 | lines=1 S0=1 S8=0;0;;0;1\n"
                       "QUORVANE OK - 1 lines, S9 1, S8 0 | lines=1 S9=1 S8=0;0;;0;1\n"
                       "QUORVANE CRITICAL - the server closed the connection: recv()<=0, len=0, errNo=0[0x0]\n"
                       "QUORVANE WARNING - 1 lines, S8 1 (warning: -w 0) | lines=1 S8=1;0;;0;1\n");
    EXPECT_EQ(run.err, "quorvane-probe: 已经重新连接上.\n");
}

TEST_F(ProbeRunTest, TheReconnectionWaitsTheMonitorsPause)
{
    LinkTiming timing = ShortTiming();
    timing.reconnectPause = 100ms; // eight of them: 0.8 s before the second connect
    std::chrono::steady_clock::time_point closedAt;
    std::chrono::steady_clock::time_point reconnectedAt;
    {
        ScriptedServer server([&](LoopbackServer& s) {
            Peer first = s.Accept();
            EXPECT_TRUE(Answer(first, Frame(1, Cells(0, 1))));
            EXPECT_TRUE(Answer(first, ""));
            first.Close();
            closedAt = std::chrono::steady_clock::now();
            Peer second = s.Accept(5s);
            reconnectedAt = std::chrono::steady_clock::now();
            EXPECT_TRUE(Answer(second, Frame(1, Cells(0, 1))));
            second.WaitClosed();
        });
        const ProbeRun run = Probe(At(server.port(), {"--watch", "0.01", "--count", "3", "--format", "csv"}), timing);
        EXPECT_EQ(run.status, 0) << run.err;
    }
    EXPECT_GE(reconnectedAt - closedAt, 700ms);
}

TEST_F(ProbeRunTest, SettingsComeFromTheConfigurationFileUnlessTheCommandLineSaysOtherwise)
{
    ScriptedServer server([](LoopbackServer& s) {
        for (int i = 0; i < 3; ++i) {
            Peer peer = s.Accept();
            EXPECT_TRUE(Answer(peer, Frame(1, Cells(0, 1))));
            peer.WaitClosed();
        }
    });
    RefusingPort refusing;
    // Quorvane.cfg names the server and the headers' language.
    WriteFile(kConfigFileName, LoopbackConfig(server.port(), -1, "LANGUAGE_TYPE = English\r\nTITLE1 = Agent\r\n"));
    ProbeRun run = Probe({"--timeout", "2"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("Line  Script File  Status  Keys  Run Info  Agent", 0), 0u) << run.out;

    // --port wins over the file's.
    run = Probe({"--port", std::to_string(refusing.port()), "--timeout", "0.2"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot connect to 127.0.0.1:" + std::to_string(refusing.port())), std::string::npos);

    // --config reads another file, and Quorvane.cfg is not read at all.
    std::filesystem::create_directory("etc");
    WriteFile("etc/probe.cfg", LoopbackConfig(server.port()));
    run = Probe({"--config", "etc/probe.cfg", "--format", "csv"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("线路,", 0), 0u) << "the default language: " << run.out;

    // Both given: Quorvane.cfg is not needed.
    std::filesystem::remove(kConfigFileName);
    run = Probe(At(server.port(), {"--check"}));
    EXPECT_EQ(run.status, 0) << run.err;
}

TEST_F(ProbeRunTest, MissingSettingsAndBadCommandLinesAreUsageErrors)
{
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;
        std::string out;
    } cases[] = {
        {{},
         2,
         "quorvane-probe: cannot read the settings (Open Config Error: Quorvane.cfg); give --host and --port, "
         "or --config FILE\n",
         ""},
        {{"--port", "5"}, 2, "quorvane-probe: cannot read the settings", ""},
        {{"--check"},
         3,
         "quorvane-probe: cannot read the settings",
         "QUORVANE UNKNOWN - cannot read the settings (Open Config Error: Quorvane.cfg); give --host and --port, or "
         "--config FILE\n"},
        {{"--config", "none.cfg", "--host", "127.0.0.1", "--port", "5"},
         2,
         "quorvane-probe: cannot read the settings (Open Config Error: none.cfg)\n",
         ""},
        {{"--bogus"}, 2, "quorvane-probe: unknown option '--bogus'\nUsage: quorvane-probe", ""},
        {{"--bogus", "--check"},
         3,
         "quorvane-probe: unknown option '--bogus'\nUsage:",
         "QUORVANE UNKNOWN - unknown option '--bogus'\n"},
        {{"--check", "-s", "Idle", "-w", "x"},
         3,
         "quorvane-probe: --warning needs a range",
         "QUORVANE UNKNOWN - --warning needs"},
        {{"--format", "yaml"}, 2, "quorvane-probe: --format needs table, csv, json or prometheus", ""},
    };
    for (const auto& c : cases) {
        const ProbeRun run = Probe(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(run.err.rfind(c.err, 0), 0u) << run.err;
        EXPECT_EQ(run.out.rfind(c.out, 0), 0u) << run.out;
        if (c.out.empty()) {
            EXPECT_EQ(run.out, "");
        }
    }
    const ProbeRun help = Probe({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: quorvane-probe [OPTION]..."), std::string::npos);
    const ProbeRun version = Probe({"-V"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("quorvane-probe ", 0), 0u);
}
