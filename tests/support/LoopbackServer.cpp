#include "LoopbackServer.h"

#include <algorithm>
#include <cstdlib>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using NativeSocket = SOCKET;
using IoSize = int;
constexpr int kNoSigPipe = 0;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using NativeSocket = int;
using IoSize = size_t;
constexpr int kNoSigPipe = MSG_NOSIGNAL;
#endif

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : int(left);
}

// True when s becomes readable (data, a close or a reset) within timeoutMs.
bool Readable(SocketHandle s, int timeoutMs)
{
#ifdef _WIN32
    WSAPOLLFD p{NativeSocket(s), POLLRDNORM, 0};
    return ::WSAPoll(&p, 1, timeoutMs) > 0;
#else
    pollfd p{s, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
#endif
}

SocketHandle ListenLoopback(int& port)
{
    const NativeSocket s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (SocketHandle(s) == kNoSocket || ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(s, 8) != 0 || ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        NetClose(SocketHandle(s));
        return kNoSocket;
    }
    port = ntohs(a.sin_port);
    return SocketHandle(s);
}

} // namespace

Peer& Peer::operator=(Peer&& other) noexcept
{
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = kNoSocket;
    }
    return *this;
}

std::string Peer::Read(size_t n, std::chrono::milliseconds timeout)
{
    std::string got;
    const auto deadline = Clock::now() + timeout;
    while (valid() && got.size() < n) {
        if (!Readable(fd_, RemainingMs(deadline)))
            break;
        char buf[4096];
        const auto r = ::recv(NativeSocket(fd_), buf, IoSize(std::min(sizeof buf, n - got.size())), 0);
        if (r <= 0)
            break;
        got.append(buf, size_t(r));
    }
    return got;
}

bool Peer::Send(const std::string& bytes)
{
    size_t sent = 0;
    while (valid() && sent < bytes.size()) {
        const auto r = ::send(NativeSocket(fd_), bytes.data() + sent, IoSize(bytes.size() - sent), kNoSigPipe);
        if (r <= 0)
            return false;
        sent += size_t(r);
    }
    return sent == bytes.size();
}

bool Peer::WaitClosed(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (valid()) {
        if (!Readable(fd_, RemainingMs(deadline)))
            return false;
        char buf[256];
        const auto r = ::recv(NativeSocket(fd_), buf, sizeof buf, 0);
        if (r == 0 || (r < 0 && NetLastError() == kConnectionReset))
            return true;
    }
    return false;
}

void Peer::Close()
{
    NetClose(fd_);
    fd_ = kNoSocket;
}

void Peer::Reset()
{
    if (valid()) {
        linger off{1, 0};
        ::setsockopt(NativeSocket(fd_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&off), sizeof off);
    }
    Close();
}

LoopbackServer::LoopbackServer()
{
    started_ = NetLibStart() == 0;
    fd_ = ListenLoopback(port_);
}

LoopbackServer::~LoopbackServer()
{
    StopListening();
    if (started_)
        NetLibEnd();
}

Peer LoopbackServer::Accept(std::chrono::milliseconds timeout)
{
    if (fd_ == kNoSocket || !Readable(fd_, int(timeout.count())))
        return Peer();
    const NativeSocket s = ::accept(NativeSocket(fd_), nullptr, nullptr);
    return Peer(SocketHandle(s));
}

void LoopbackServer::StopListening()
{
    NetClose(fd_);
    fd_ = kNoSocket;
}

SocketHandle LoopbackServer::Connect()
{
    SocketHandle s = NetOpenStream(10, 5, 3);
    if (s == kNoSocket)
        return kNoSocket;
    NetConnectStart(s, htonl(INADDR_LOOPBACK), uint16_t(port_));
    if (NetWaitWritable(s, kNoWake, 5000) != 1 || !NetConnectCompleted(s)) {
        NetClose(s);
        return kNoSocket;
    }
    return s;
}

RefusingPort::RefusingPort()
{
    started_ = NetLibStart() == 0;
    const NativeSocket s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    socket_ = SocketHandle(s);
    if (socket_ == kNoSocket || ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        std::abort();
    port_ = ntohs(a.sin_port);
}

RefusingPort::~RefusingPort()
{
    NetClose(socket_);
    if (started_)
        NetLibEnd();
}

int ClosedPort()
{
    const bool started = NetLibStart() == 0;
    int port = 0;
    NetClose(ListenLoopback(port));
    if (started)
        NetLibEnd();
    return port;
}
