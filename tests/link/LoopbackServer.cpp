#include "LoopbackServer.h"

#include "settings/EventLog.h"
#include "support/TestSupport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <regex>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : int(left);
}

int ListenLoopback(int& port)
{
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, 8) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (s >= 0)
            ::close(s);
        return -1;
    }
    port = ntohs(a.sin_port);
    return s;
}

} // namespace

Peer& Peer::operator=(Peer&& other) noexcept
{
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

std::string Peer::Read(size_t n, std::chrono::milliseconds timeout)
{
    std::string got;
    const auto deadline = Clock::now() + timeout;
    while (fd_ >= 0 && got.size() < n) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, RemainingMs(deadline)) <= 0)
            break;
        char buf[4096];
        ssize_t r = ::recv(fd_, buf, std::min(sizeof buf, n - got.size()), 0);
        if (r <= 0)
            break;
        got.append(buf, size_t(r));
    }
    return got;
}

bool Peer::Send(const std::string& bytes)
{
    size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        ssize_t r = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (r <= 0)
            return false;
        sent += size_t(r);
    }
    return sent == bytes.size();
}

bool Peer::WaitClosed(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (fd_ >= 0) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, RemainingMs(deadline)) <= 0)
            return false;
        char buf[256];
        ssize_t r = ::recv(fd_, buf, sizeof buf, 0);
        if (r == 0 || (r < 0 && errno == ECONNRESET))
            return true;
    }
    return false;
}

void Peer::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

LoopbackServer::LoopbackServer()
{
    fd_ = ListenLoopback(port_);
}

LoopbackServer::~LoopbackServer()
{
    StopListening();
}

Peer LoopbackServer::Accept(std::chrono::milliseconds timeout)
{
    if (fd_ < 0)
        return Peer();
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, int(timeout.count())) <= 0)
        return Peer();
    return Peer(::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC));
}

void LoopbackServer::StopListening()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

int ClosedPort()
{
    int port = 0;
    int s = ListenLoopback(port);
    if (s >= 0)
        ::close(s);
    return port;
}

bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (!cond()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

std::string Record(int line, int column, int fore, int back, const std::string& text)
{
    std::string r;
    r += char(line & 0xFF);
    r += char((line >> 8) & 0xFF);
    r += char(column);
    r += char(fore);
    r += char(back);
    r += text;
    r += '\0';
    return r;
}

std::string Frame(int lineCount, const std::string& records, bool textLength)
{
    const uint32_t body = uint32_t(2 + records.size());
    std::string f;
    if (textLength) {
        f = Format("%04u", body);
    } else {
        for (int i = 0; i < 4; ++i)
            f += char((body >> (8 * i)) & 0xFF);
    }
    f += char(lineCount & 0xFF);
    f += char((lineCount >> 8) & 0xFF);
    return f + records;
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
