#include "platform/Net.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

std::atomic<unsigned> NetConnectCalls{0};

namespace {

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

int Wait(SocketHandle s, short events, int wakeFd, int timeoutMs)
{
    if (s == kNoSocket)
        return -1;
    pollfd fds[2] = {{s, events, 0}, {wakeFd, POLLIN, 0}};
    const nfds_t count = wakeFd >= 0 ? 2 : 1;
    for (;;) {
        int n = ::poll(fds, count, timeoutMs);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (fds[0].revents & POLLNVAL)
            return -1;
        // An error or hang-up is left for the read or the connect check to report.
        if (fds[0].revents & (events | POLLERR | POLLHUP))
            return 1;
        return 0;
    }
}

} // namespace

int NetLibStart()
{
    return 0;
}

void NetLibEnd() {}

bool NetParseIPv4(const char* text, uint32_t& address)
{
    in_addr_t a = ::inet_addr(text);
    if (a == INADDR_NONE)
        return false;
    address = a;
    return true;
}

int NetResolveHost(const char* name, uint32_t& address)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* first = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &first) != 0 || !first)
        return -1;
    // The official name is looked up again and its address used, as the platform's own clients do.
    const char* official = first->ai_canonname ? first->ai_canonname : name;
    hints.ai_flags = 0;
    addrinfo* second = nullptr;
    int rc = ::getaddrinfo(official, nullptr, &hints, &second);
    ::freeaddrinfo(first);
    if (rc != 0 || !second)
        return -1;
    int result = -1;
    for (addrinfo* ai = second; ai; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET) {
            address = reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr;
            result = 0;
            break;
        }
    }
    ::freeaddrinfo(second);
    return result;
}

SocketHandle NetOpenStream(int idleSec, int intervalSec, int count)
{
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (s < 0)
        return kNoSocket;
    ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK);
    int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
#ifdef TCP_KEEPIDLE
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &idleSec, sizeof idleSec);
#endif
#ifdef TCP_KEEPINTVL
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSec, sizeof intervalSec);
#endif
#ifdef TCP_KEEPCNT
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
#endif
#ifdef SO_NOSIGPIPE
    ::setsockopt(s, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    return s;
}

void NetConnectStart(SocketHandle s, uint32_t address, uint16_t port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    NetConnectCalls.fetch_add(1, std::memory_order_relaxed);
    [[maybe_unused]] int rc = ::connect(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
}

bool NetConnectCompleted(SocketHandle s)
{
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0)
        return false;
    // SO_ERROR is cleared once read, so a refused socket asked a second time would say 0; only a
    // socket with a peer is connected.
    sockaddr_in peer{};
    socklen_t peerLen = sizeof peer;
    return ::getpeername(s, reinterpret_cast<sockaddr*>(&peer), &peerLen) == 0;
}

void NetClose(SocketHandle s)
{
    if (s != kNoSocket)
        ::close(s);
}

int NetWaitReadable(SocketHandle s, int wakeFd, int timeoutMs)
{
    return Wait(s, POLLIN, wakeFd, timeoutMs);
}

int NetWaitWritable(SocketHandle s, int wakeFd, int timeoutMs)
{
    return Wait(s, POLLOUT, wakeFd, timeoutMs);
}

long NetRecv(SocketHandle s, void* buffer, size_t length)
{
    errno = 0;
    return long(::recv(s, buffer, length, 0));
}

long NetSend(SocketHandle s, const void* bytes, size_t length)
{
    errno = 0;
    return long(::send(s, bytes, length, kSendFlags));
}

int NetLastError()
{
    return errno;
}
