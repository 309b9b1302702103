#include "sim/SimOptions.h"

#include "board/Board.h"
#include "common/LongOption.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

bool ParseInt(const std::string& text, long long low, long long high, long long& value)
{
    if (text.empty() || !(text[0] == '-' || (text[0] >= '0' && text[0] <= '9'))) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) {
        return false;
    }
    value = v;
    return true;
}

bool ParseUnsigned(const std::string& text, uint64_t& value)
{
    if (text.empty() || text[0] < '0' || text[0] > '9') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') {
        return false;
    }
    value = v;
    return true;
}

bool ParseRate(const std::string& text, double& value)
{
    if (text.empty() || text.find_first_not_of("0123456789.eE+-") != std::string::npos) {
        return false;
    }
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v) || v < 0.0 || v > 1.0) {
        return false;
    }
    value = v;
    return true;
}

} // namespace

ParseResult ParseSimArgs(int argc, const char* const* argv, SimOptions& options, std::string& error)
{
    struct IntOption {
        const char* name;
        int SimOptions::*field;
        long long low;
        long long high;
        const char* what;
    };
    static const IntOption kIntOptions[] = {
        {"--lines", &SimOptions::lines, 1, kMaxLines, "a line count from 1 to 2048"},
        {"--close-after", &SimOptions::closeAfter, 0, 1000000000, "a number of answers (0 or more)"},
        {"--garbage-after", &SimOptions::garbageAfter, 0, 1000000000, "a number of answers (0 or more)"},
        {"--oversize-after", &SimOptions::oversizeAfter, 0, 1000000000, "a number of answers (0 or more)"},
        {"--stall-after", &SimOptions::stallAfter, 0, 1000000000, "a number of answers (0 or more)"},
        {"--delay-ms", &SimOptions::delayMs, 0, 600000, "milliseconds from 0 to 600000"},
        {"--chunk", &SimOptions::chunk, 1, 1000000, "a piece size in bytes (1 or more)"},
        {"--port", &SimOptions::port, 0, 65535, "a TCP port from 0 to 65535"},
    };

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            return ParseResult::Help;
        }
        if (arg.rfind("--", 0) != 0) {
            error = "unexpected argument '" + arg + "'";
            return ParseResult::Error;
        }
        std::string value;
        const bool hasValue = SplitLongOption(arg, value);
        const auto takeValue = [&]() {
            if (hasValue) {
                return true;
            }
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        const auto bad = [&](const char* what) {
            error = arg;
            error.append(" needs ").append(what).append(", not '").append(value).append("'");
            return ParseResult::Error;
        };

        bool known = false;
        for (const IntOption& opt : kIntOptions) {
            if (arg != opt.name) {
                continue;
            }
            known = true;
            if (!takeValue()) {
                return ParseResult::Error;
            }
            long long v = 0;
            if (!ParseInt(value, opt.low, opt.high, v)) {
                return bad(opt.what);
            }
            options.*opt.field = static_cast<int>(v);
        }
        if (known) {
            continue;
        }
        if (arg == "--hostile") {
            // The kind is given only as --hostile=KIND, so a following option is never taken for it.
            if (!hasValue || value == "mix") {
                options.hostile = SimHostile::Mix;
            } else if (value == "long") {
                options.hostile = SimHostile::Long;
            } else {
                return bad("mix or long");
            }
        } else if (arg == "--language") {
            if (!takeValue()) {
                return ParseResult::Error;
            }
            if (value == "en") {
                options.language = SimLanguage::En;
            } else if (value == "zh") {
                options.language = SimLanguage::Zh;
            } else {
                return bad("en or zh");
            }
        } else if (arg == "--length") {
            if (!takeValue()) {
                return ParseResult::Error;
            }
            if (value == "text") {
                options.length = LengthMode::Text;
            } else if (value == "binary") {
                options.length = LengthMode::Binary;
            } else {
                return bad("text or binary");
            }
        } else if (arg == "--change-rate") {
            if (!takeValue()) {
                return ParseResult::Error;
            }
            if (!ParseRate(value, options.changeRate)) {
                return bad("a share from 0 to 1");
            }
        } else if (arg == "--seed") {
            if (!takeValue()) {
                return ParseResult::Error;
            }
            if (!ParseUnsigned(value, options.seed)) {
                return bad("an unsigned number");
            }
        } else if (arg == "--bind") {
            if (!takeValue()) {
                return ParseResult::Error;
            }
            if (value.empty()) {
                return bad("an IP address");
            }
            options.bind = value;
        } else {
            error = "unknown option '" + arg + "'";
            return ParseResult::Error;
        }
    }
    return ParseResult::Run;
}

const char* SimUsage()
{
    return R"(Usage: quorvane-sim [OPTION]...
A CTI server simulator for the Quorvane monitor: answers each 5-byte poll "00011"
with one frame of line cells, over TCP.

Content:
  --lines N            number of telephone lines, 1 to 2048 (default 64)
  --language en|zh     texts in English or in Chinese as GBK bytes (default en)
  --length text|binary length field as four ASCII digits or as a 32-bit
                       little-endian integer (default text; bodies over 9999
                       bytes always get the binary field)
  --change-rate R      share of the lines, 0 to 1, that change per answer
                       (default 0.1)
  --seed S             seed of the random changes (default 1)
  --hostile[=mix|long] send what a hostile or broken server may send, in place
                       of the usual texts (the lines move as usual; the line
                       numbers in column 0 stay). mix (the default): formulas
                       a spreadsheet would run (=HYPERLINK(...), +cmd|...,
                       -2+3, @SUM(...)), control bytes (escape sequences, CR,
                       LF, TAB, BEL, DEL, backspaces), markup (<b>, <img>),
                       bytes that are not GBK, every byte 0x01-0xFF, texts of
                       29988 bytes (the most one answer carries), and in the
                       status column a distinct text on every line (2048
                       distinct statuses with --lines 2048). long: every
                       status a distinct 29988-byte text, all alike but for
                       their ends (61 MB of status texts with --lines 2048;
                       the board takes one answer per line to arrive)

Network:
  --port P             TCP port, 0 picks a free one (default 2004)
  --bind ADDR          IPv4 or IPv6 address to listen on (default 127.0.0.1)
The first line on standard output is "listening ADDR:PORT".

Fault injection (counted per connection):
  --close-after N      close the connection after N answers
  --delay-ms D         send each answer D milliseconds after its poll
  --chunk B            write answers in pieces of B bytes, 2 ms apart
  --garbage-after N    after N answers, answer with bytes no reader accepts
  --oversize-after N   after N answers, send frames longer than 30000 bytes
  --stall-after N      after N answers, read polls but never answer

  -h, --help           show this text and exit

The first answers carry every cell, as many as fit in 30000 bytes per frame;
later answers carry the cells that changed. SIGINT or SIGTERM stop the server.
Exit status: 0 stopped by a signal, 1 network failure, 2 bad arguments.
)";
}
