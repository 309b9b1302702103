#include "support/TestSupport.h"

#include "board/Board.h"
#include "settings/Config.h"
#include "settings/EventLog.h"

#include <atomic>
#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <cerrno>
#include <cstring>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

ScratchDir::ScratchDir()
{
    previous_ = fs::current_path().string();
    // create_directory fails on a name that exists, so a clash with another test process just
    // draws again (mkdtemp is not on every platform).
    std::random_device seed;
    std::mt19937_64 draw(seed());
    for (int attempt = 0; path_.empty(); ++attempt) {
        if (attempt == 100)
            std::abort();
        char name[40];
        std::snprintf(name, sizeof name, "quorvane-test-%016llx", static_cast<unsigned long long>(draw()));
        const fs::path candidate = fs::temp_directory_path() / name;
        std::error_code ec;
        if (fs::create_directory(candidate, ec))
            path_ = candidate.string();
    }
    fs::current_path(path_);
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    fs::current_path(previous_, ec);
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string ReadFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& name, const std::string& bytes)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string LoopbackConfig(int port, int sleepSec, const std::string& extra)
{
    std::string text = "SERVER_IP = 127.0.0.1\r\nSERVER_PORT = " + std::to_string(port) + "\r\n";
    if (sleepSec >= 0)
        text += "SLEEP_SEC = " + std::to_string(sleepSec) + "\r\n";
    return text + extra;
}

TagRunCfg LoopbackRunCfg(int port, int sleepSec)
{
    TagRunCfg cfg;
    cfg.ServerIp = "127.0.0.1";
    cfg.ServerPort = port;
    cfg.SleepSec = sleepSec;
    return cfg;
}

void WriteLoopbackConfig(int port, const std::string& extra)
{
    WriteFile(kConfigFileName, LoopbackConfig(port, -1, extra));
    CurConfig.Set(TagRunCfg());
    LoadConfig(CurConfig);
}

LinkTiming ShortTiming()
{
    using namespace std::chrono_literals;
    LinkTiming t;
    t.firstConnectTimeout = 200ms;
    t.reconnectTimeout = 200ms;
    t.connectStep = 10ms;
    t.settlePause = 2ms;
    t.reconnectPause = 5ms;
    t.stopWait = 2000ms;
    t.sleepUnit = 10ms;
    return t;
}

#ifndef _WIN32
namespace {

std::string localeDir;     // usable: the locale was made and behaves as the Turkish one does
std::string localeScratch; // removed at exit either way

void RemoveLocaleDir()
{
    std::error_code ec;
    fs::remove_all(localeScratch, ec);
}

} // namespace
#endif

std::string TurkishLocaleDir(std::string& why)
{
#ifdef _WIN32
    why = "no localedef on Windows";
    return std::string();
#else
    static std::string failure;
    static bool tried = false;
    if (!tried) {
        tried = true;
        std::error_code ec;
        const fs::path dir = fs::temp_directory_path(ec) / ("quorvane-locale-" + std::to_string(::getpid()));
        fs::remove_all(dir, ec);
        const std::string command =
            "localedef -i tr_TR -f UTF-8 '" + (dir / "tr_TR.UTF-8").string() + "' >/dev/null 2>&1";
        fs::create_directories(dir, ec);
        // localedef exits with 1 for mere warnings, so the result is judged by setlocale below.
        [[maybe_unused]] int rc = std::system(command.c_str());
        localeScratch = localeDir = dir.string();
        std::atexit(RemoveLocaleDir);
        ::setenv("LOCPATH", localeDir.c_str(), 1);
        const std::string before = std::setlocale(LC_ALL, nullptr);
        if (!std::setlocale(LC_ALL, "tr_TR.UTF-8")) {
            failure = "localedef could not build tr_TR.UTF-8 (are the locale sources installed?)";
        } else {
            // Called through a pointer: the compiler knows toupper as a builtin and reasons about its
            // result as the "C" locale would.
            int (*volatile upper)(int) = &::toupper;
            if (upper('i') != 'i')
                failure = "tr_TR.UTF-8 upper-cases 'i' to 'I' here";
            std::setlocale(LC_ALL, before.c_str());
        }
        if (!failure.empty())
            localeDir.clear();
    }
    why = failure;
    return localeDir;
#endif
}

TurkishLocale::TurkishLocale()
{
    if (TurkishLocaleDir(why_).empty())
        return;
    active_ = std::setlocale(LC_ALL, "tr_TR.UTF-8") != nullptr;
    if (!active_)
        why_ = "setlocale(tr_TR.UTF-8) failed";
}

TurkishLocale::~TurkishLocale()
{
    if (active_)
        std::setlocale(LC_ALL, "C");
}

bool WritesRefused(const std::string& path, std::string& why)
{
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f)
        return true;
    std::fclose(f);
    why = "'" + path + "' stays writable here although it is read-only (Wine run as root?)";
    return false;
}

#ifdef _WIN32
// The read-only attribute stops every user's writes on Windows: nothing to switch.
Unprivileged::Unprivileged() {}
Unprivileged::~Unprivileged() {}
#else
namespace {
constexpr unsigned kNobody = 65534;
}

Unprivileged::Unprivileged()
{
    if (::geteuid() != 0)
        return;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(size_t(count > 0 ? count : 0));
    if (count > 0 && ::getgroups(count, groups.data()) != count)
        groups.clear();
    groups_.assign(groups.begin(), groups.end());
    // Real and effective both: access(), which the GUI library's checks use, looks at the real user.
    if (::syscall(SYS_setgroups, 0, nullptr) != 0 || ::syscall(SYS_setresgid, kNobody, kNobody, 0) != 0 ||
        ::syscall(SYS_setresuid, kNobody, kNobody, 0) != 0) {
        why_ = std::string("cannot run as nobody: ") + std::strerror(errno);
        active_ = false;
        ::syscall(SYS_setresuid, 0, 0, 0);
        ::syscall(SYS_setresgid, 0, 0, 0);
        return;
    }
    switched_ = true;
}

Unprivileged::~Unprivileged()
{
    if (!switched_)
        return;
    ::syscall(SYS_setresuid, 0, 0, 0);
    ::syscall(SYS_setresgid, 0, 0, 0);
    std::vector<gid_t> groups(groups_.begin(), groups_.end());
    ::syscall(SYS_setgroups, groups.size(), groups.data());
}
#endif

bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!cond()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::vector<std::string> LogMessages()
{
    static const std::regex line(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[(.*)\]\r)");
    std::vector<std::string> out;
    std::istringstream in(ReadFile(kLogFileName));
    std::string text;
    std::smatch m;
    while (std::getline(in, text)) {
        if (std::regex_match(text, m, line))
            out.push_back(m[1]);
        else
            out.push_back("?" + text);
    }
    return out;
}

MessageRecorder::MessageRecorder()
{
    SetMessageHandler([this](const TagMessage& m) {
        std::lock_guard lock(mutex_);
        messages_.push_back(m);
    });
}

MessageRecorder::~MessageRecorder()
{
    SetMessageHandler(nullptr);
}

std::vector<TagMessage> MessageRecorder::messages() const
{
    std::lock_guard lock(mutex_);
    return messages_;
}

RecordingView::RecordingView() : previous_(CurView)
{
    CurView = this;
}

RecordingView::~RecordingView()
{
    CurView = previous_;
}

void RecordingView::ShowLinkState(bool connected)
{
    std::lock_guard lock(mutex_);
    calls_.push_back(connected ? "link up" : "link down");
}

void RecordingView::SetSummaryText(const std::string& gbk)
{
    std::lock_guard lock(mutex_);
    calls_.push_back("summary:" + gbk);
}

bool RecordingView::LayoutGrid(TagMonitor& board, WakeFlag&)
{
    std::lock_guard lock(mutex_);
    calls_.push_back("layout:" + std::to_string(board.LineCount));
    return true;
}

std::vector<std::string> RecordingView::calls() const
{
    std::lock_guard lock(mutex_);
    return calls_;
}

namespace {
std::atomic<int64_t> fakeBoardNanos{0};
} // namespace

FakeBoardClock::FakeBoardClock() : previous_(BoardClock.exchange(&FakeBoardClock::Now))
{
    fakeBoardNanos = int64_t(1000000) * 1000000000; // a million seconds in
}

FakeBoardClock::~FakeBoardClock()
{
    BoardClock = previous_;
}

BoardTime FakeBoardClock::Now()
{
    return BoardTime(std::chrono::nanoseconds(fakeBoardNanos.load()));
}

void FakeBoardClock::Advance(std::chrono::steady_clock::duration d)
{
    fakeBoardNanos += std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
}
