#include "probe/ProbeOptions.h"

#include "probe/ProbeFormat.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

ProbeParse Parse(std::vector<const char*> args, ProbeOptions& options, std::string& error)
{
    args.insert(args.begin(), "quorvane-probe");
    return ParseProbeArgs(int(args.size()), args.data(), options, error);
}

} // namespace

TEST(ProbeOptions, Defaults)
{
    ProbeOptions o;
    std::string error;
    ASSERT_EQ(Parse({}, o, error), ProbeParse::Run);
    EXPECT_TRUE(o.host.empty());
    EXPECT_EQ(o.port, 0);
    EXPECT_TRUE(o.config.empty());
    EXPECT_EQ(o.timeoutSec, 10);
    EXPECT_EQ(o.polls, 0);
    EXPECT_EQ(o.watchSec, 0);
    EXPECT_EQ(o.count, 0);
    EXPECT_EQ(o.format, ProbeFormat::Table);
    EXPECT_EQ(o.column, 2);
    EXPECT_FALSE(o.check);
    EXPECT_FALSE(o.statusGiven);
    EXPECT_FALSE(o.warning);
    EXPECT_FALSE(o.critical);
}

TEST(ProbeOptions, EveryOptionInEverySpelling)
{
    const struct {
        std::vector<const char*> args;
        void (*check)(const ProbeOptions&);
    } cases[] = {
        {{"--host", "127.0.0.1"}, [](const ProbeOptions& o) { EXPECT_EQ(o.host, "127.0.0.1"); }},
        {{"--host=localhost"}, [](const ProbeOptions& o) { EXPECT_EQ(o.host, "localhost"); }},
        {{"-H", "::1"}, [](const ProbeOptions& o) { EXPECT_EQ(o.host, "::1"); }},
        {{"--port", "1"}, [](const ProbeOptions& o) { EXPECT_EQ(o.port, 1); }},
        {{"-p", "65535"}, [](const ProbeOptions& o) { EXPECT_EQ(o.port, 65535); }},
        {{"--port=2004"}, [](const ProbeOptions& o) { EXPECT_EQ(o.port, 2004); }},
        {{"--config", "etc/q.cfg"}, [](const ProbeOptions& o) { EXPECT_EQ(o.config, "etc/q.cfg"); }},
        {{"--timeout", "0.25"}, [](const ProbeOptions& o) { EXPECT_DOUBLE_EQ(o.timeoutSec, 0.25); }},
        {{"-t", "3600"}, [](const ProbeOptions& o) { EXPECT_DOUBLE_EQ(o.timeoutSec, 3600); }},
        {{"--timeout=.5"}, [](const ProbeOptions& o) { EXPECT_DOUBLE_EQ(o.timeoutSec, 0.5); }},
        {{"--polls", "3"}, [](const ProbeOptions& o) { EXPECT_EQ(o.polls, 3); }},
        {{"--watch", "15"}, [](const ProbeOptions& o) { EXPECT_DOUBLE_EQ(o.watchSec, 15); }},
        {{"--watch=0.1", "--count", "4"},
         [](const ProbeOptions& o) {
             EXPECT_DOUBLE_EQ(o.watchSec, 0.1);
             EXPECT_EQ(o.count, 4);
         }},
        {{"--format", "csv"}, [](const ProbeOptions& o) { EXPECT_EQ(o.format, ProbeFormat::Csv); }},
        {{"--format=json"}, [](const ProbeOptions& o) { EXPECT_EQ(o.format, ProbeFormat::Json); }},
        {{"--format", "prometheus"}, [](const ProbeOptions& o) { EXPECT_EQ(o.format, ProbeFormat::Prometheus); }},
        {{"--format", "table"},
         [](const ProbeOptions& o) {
             EXPECT_EQ(o.format, ProbeFormat::Table);
             EXPECT_TRUE(o.formatGiven);
         }},
        {{"--column", "0"}, [](const ProbeOptions& o) { EXPECT_EQ(o.column, 0); }},
        {{"--column=7"}, [](const ProbeOptions& o) { EXPECT_EQ(o.column, 7); }},
        {{"--check"}, [](const ProbeOptions& o) { EXPECT_TRUE(o.check); }},
        {{"--check", "-s", "Talking", "-w", "10", "-c", "@10:20"},
         [](const ProbeOptions& o) {
             EXPECT_EQ(o.status, "Talking");
             ASSERT_TRUE(o.warning && o.critical);
             EXPECT_EQ(o.warningText, "10");
             EXPECT_EQ(o.criticalText, "@10:20");
             EXPECT_TRUE(o.critical->inside);
         }},
        {{"--status=Hang up", "--warning=~:5", "--critical", "-3:", "--check"},
         [](const ProbeOptions& o) {
             EXPECT_EQ(o.status, "Hang up");
             EXPECT_TRUE(o.warning->startInfinite);
             EXPECT_EQ(o.critical->start, -3) << "a value that starts with '-' is still the option's value";
         }},
        {{"--check", "--status", ""}, [](const ProbeOptions& o) { EXPECT_TRUE(o.statusGiven && o.status.empty()); }},
        {{"--port", "5", "--port", "6"}, [](const ProbeOptions& o) { EXPECT_EQ(o.port, 6); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        ProbeOptions o;
        std::string error;
        ASSERT_EQ(Parse(c.args, o, error), ProbeParse::Run) << error;
        c.check(o);
    }
}

TEST(ProbeOptions, HelpAndVersionWinOverEverythingAfterThem)
{
    const struct {
        const char* arg;
        ProbeParse result;
    } cases[] = {{"--help", ProbeParse::Help},
                 {"-h", ProbeParse::Help},
                 {"--version", ProbeParse::Version},
                 {"-V", ProbeParse::Version}};
    for (const auto& c : cases) {
        ProbeOptions o;
        std::string error;
        EXPECT_EQ(Parse({"--port", "5", c.arg, "--bogus"}, o, error), c.result) << c.arg;
    }
    const std::string usage = ProbeUsage();
    for (const char* option :
         {"--host", "--port", "--config", "--timeout", "--polls", "--watch", "--count", "--format", "--column",
          "--check", "--status", "--warning", "--critical", "--help", "--version", "prometheus", "@10:20"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

TEST(ProbeOptions, BadCommandLinesAreRefusedWithAReason)
{
    const struct {
        std::vector<const char*> args;
        const char* mentions;
    } cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"-x"}, "unknown option '-x'"},
        {{"-"}, "unexpected argument '-'"},
        {{"stray"}, "unexpected argument 'stray'"},
        {{"--host"}, "--host needs a value"},
        {{"--host", ""}, "--host needs a host name"},
        {{"--port", "0"}, "--port needs a TCP port"},
        {{"--port", "65536"}, "--port"},
        {{"--port", "-1"}, "--port"},
        {{"--port", "80x"}, "--port"},
        {{"--port", "99999999999999999999"}, "--port"},
        {{"--port="}, "--port"},
        {{"--config", ""}, "--config needs a file name"},
        {{"--timeout", "0"}, "--timeout needs seconds"},
        {{"--timeout", "-1"}, "--timeout"},
        {{"--timeout", "3601"}, "--timeout"},
        {{"--timeout", "1e3"}, "--timeout"},
        {{"--timeout", "1.2.3"}, "--timeout"},
        {{"--timeout", "."}, "--timeout"},
        {{"--timeout", "nan"}, "--timeout"},
        {{"--polls", "0"}, "--polls"},
        {{"--watch", "0"}, "--watch"},
        {{"--watch", "86401"}, "--watch"},
        {{"--count", "3"}, "--count counts the rounds of --watch"},
        {{"--watch", "1", "--count", "0"}, "--count"},
        {{"--format", "xml"}, "table, csv, json or prometheus"},
        {{"--format", "JSON"}, "--format"},
        {{"--column", "8"}, "--column needs a column from 0 to 7"},
        {{"--column", "-1"}, "--column"},
        {{"--check=yes"}, "--check takes no value"},
        {{"--check", "--format", "json"}, "--format does not go with it"},
        {{"--status", "Idle"}, "belong to --check"},
        {{"-w", "10"}, "belong to --check"},
        {{"--check", "-w", "10"}, "count the lines of a --status"},
        {{"--check", "-c", "10"}, "count the lines of a --status"},
        {{"--check", "-s", "Idle", "-w", "abc"}, "--warning needs a range"},
        {{"--check", "-s", "Idle", "-c", "20:10"}, "--critical needs a range"},
        {{"--check", "-s", "Idle", "-c"}, "--critical needs a value"},
    };
    for (const auto& c : cases) {
        ProbeOptions o;
        std::string error;
        EXPECT_EQ(Parse(c.args, o, error), ProbeParse::Error) << c.args[0];
        EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
    }
}

TEST(ProbeOptions, CheckModeIsSeenWhereverItStands)
{
    const struct {
        std::vector<const char*> args;
        bool check;
    } cases[] = {
        {{}, false},
        {{"--check"}, true},
        {{"--bogus", "--check"}, true},
        {{"--check=yes"}, false},
        {{"--status", "--check"}, true}, // a status named "--check" still asks for check mode
        {{"--checks"}, false},
    };
    for (const auto& c : cases) {
        std::vector<const char*> args = c.args;
        args.insert(args.begin(), "quorvane-probe");
        EXPECT_EQ(WantsCheck(int(args.size()), args.data()), c.check);
    }
}

TEST(ProbeOptions, HelpStatesEveryBoundOnTheServersTexts)
{
    const std::string help = ProbeUsage();
    const std::string bounds[] = {
        "at most " + std::to_string(kTableColumnWidth) + " display columns",
        "summary line above the\n    columns at most " + std::to_string(kTableSummaryWidth),
        "at most the " + std::to_string(kPrometheusStatuses) + " largest statuses",
        "status=\"" + std::string(kPrometheusOther) + "\"",
        std::to_string(kPrometheusLabelChars) + " characters",
        "at most " + std::to_string(kCheckNameChars) + " characters",
        "at most\n    " + std::to_string(kCheckLineBytes) + " bytes",
        "without a byte order mark",
        "gets a leading '",
    };
    for (const std::string& bound : bounds)
        EXPECT_NE(help.find(bound), std::string::npos) << bound;
}
