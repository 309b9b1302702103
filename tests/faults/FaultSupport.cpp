#include "FaultSupport.h"

#include "board/Board.h"
#include "sim/SimModel.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <dirent.h>
#include <netinet/in.h>
#include <regex>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

CountingView::CountingView() : previous_(CurView)
{
    CurView = this;
}

CountingView::~CountingView()
{
    CurView = previous_;
}

void CountingView::ShowLinkState(bool connected)
{
    ++(connected ? linkUps : linkDowns);
}

void CountingView::SetSummaryText(const std::string&)
{
    ++summaries;
}

bool CountingView::LayoutGrid(TagMonitor&, WakeFlag&)
{
    ++layouts;
    return true;
}

LinkTiming FaultTiming()
{
    LinkTiming t = ShortTiming();
    // The simulator is a process of its own and may be slow to answer its first connect on a busy
    // machine; connects that fail (the simulator killed) should fail fast, so a hundred restarts stay
    // short.
    t.firstConnectTimeout = 2s;
    t.reconnectTimeout = 100ms;
    // A poll pause long enough for a kill to land between two answers.
    t.sleepUnit = 20ms;
    return t;
}

long ResidentKb()
{
    long pages = 0;
    long resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

namespace {

std::vector<int> Descriptors()
{
    std::vector<int> fds;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        const int own = ::dirfd(d);
        while (dirent* e = ::readdir(d)) {
            if (e->d_name[0] != '.' && std::atoi(e->d_name) != own)
                fds.push_back(std::atoi(e->d_name));
        }
        ::closedir(d);
    }
    return fds;
}

} // namespace

size_t OpenDescriptors()
{
    return Descriptors().size();
}

std::vector<int> SocketsTo(int port)
{
    std::vector<int> found;
    for (int fd : Descriptors()) {
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        int type = 0;
        socklen_t typeLen = sizeof type;
        if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLen) != 0 || type != SOCK_STREAM)
            continue;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0 && peer.sin_family == AF_INET &&
            ntohs(peer.sin_port) == port && peer.sin_addr.s_addr == htonl(INADDR_LOOPBACK))
            found.push_back(fd);
    }
    return found;
}

int IntOption(int fd, int level, int name)
{
    int value = -1;
    socklen_t len = sizeof value;
    if (::getsockopt(fd, level, name, &value, &len) != 0)
        return -1;
    return value;
}

std::string BoardDiff(const SimModel& model)
{
    BoardLock boardLock(CurBoardLock);
    if (!CurBoard)
        return "no board";
    const TagMonitor& board = *CurBoard;
    if (board.LineCount != model.LineCount())
        return "line count " + std::to_string(board.LineCount) + ", expected " + std::to_string(model.LineCount());
    BoardLock cellLock(board.Lock);
    for (int line = 0; line < model.LineCount(); ++line) {
        for (int column = 0; column < kColsPerLine; ++column) {
            const SimCell& want = model.Cell(line, column);
            const TagLineCols& got = board.Rows[size_t(line)].Cols[column];
            const bool coloursKnown = want.fore >= 0 && want.fore < 16 && want.back >= 0 && want.back < 16;
            if (got.Text != want.text || !coloursKnown || got.ForeColor != LinePalette[want.fore] ||
                got.BackColor != LinePalette[want.back])
                return "cell " + std::to_string(line) + "/" + std::to_string(column) + " '" + got.Text +
                       "', expected '" + want.text + "'";
        }
    }
    return std::string();
}

std::vector<std::string> LogMatching(const std::string& pattern)
{
    const std::regex re(pattern);
    std::vector<std::string> out;
    for (const std::string& m : LogMessages()) {
        if (std::regex_match(m, re))
            out.push_back(m);
    }
    return out;
}

size_t LogCount(const std::string& message)
{
    const std::vector<std::string> log = LogMessages();
    return size_t(std::count(log.begin(), log.end(), message));
}
