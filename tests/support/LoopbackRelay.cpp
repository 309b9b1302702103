#include "support/LoopbackRelay.h"

#include <cstdint>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// How often a relay waiting for traffic looks whether it is to stop.
constexpr int kStopCheckMs = 50;

sockaddr_in Loopback(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    return a;
}

// Each piece goes on at once: a relay that held small writes back would move the times it measures.
void NoDelay(int fd)
{
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool SendAll(int fd, const char* p, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w <= 0)
            return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

} // namespace

LoopbackRelay::LoopbackRelay(int serverPort, ServerBytes onServerBytes)
    : serverPort_(serverPort), onServerBytes_(std::move(onServerBytes))
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, 8) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (s >= 0)
            ::close(s);
        return;
    }
    listen_ = s;
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
}

LoopbackRelay::~LoopbackRelay()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listen_ >= 0)
        ::close(listen_);
}

void LoopbackRelay::Run()
{
    while (!stop_) {
        pollfd l{listen_, POLLIN, 0};
        if (::poll(&l, 1, kStopCheckMs) <= 0)
            continue;
        const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        const int connection = connections_++;
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in a = Loopback(serverPort_);
        // A server that refuses ends the client's connection at once: the client sees it close.
        if (server >= 0 && ::connect(server, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
            NoDelay(client);
            NoDelay(server);
            Pass(connection, client, server);
        }
        ::close(client);
        if (server >= 0)
            ::close(server);
    }
}

void LoopbackRelay::Pass(int connection, int client, int server)
{
    std::vector<char> buf(65536);
    while (!stop_) {
        pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (::poll(p, 2, kStopCheckMs) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::recv(p[i].fd, buf.data(), buf.size(), 0);
            if (n <= 0)
                return;
            if (i == 0) {
                requestBytes_ += n;
            } else {
                answerBytes_ += n;
                if (onServerBytes_)
                    onServerBytes_(connection, std::string_view(buf.data(), size_t(n)), Clock::now());
            }
            if (!SendAll(p[1 - i].fd, buf.data(), size_t(n)))
                return;
        }
    }
}
