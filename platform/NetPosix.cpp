#include "platform/Net.h"

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

int Wait(SocketHandle s, short events, WakeHandle wake, int timeoutMs)
{
    if (s == kNoSocket)
        return -1;
    pollfd fds[2] = {{s, events, 0}, {wake, POLLIN, 0}};
    const nfds_t count = wake != kNoWake ? 2 : 1;
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

void NetClose(SocketHandle s)
{
    if (s != kNoSocket)
        ::close(s);
}

int NetWaitReadable(SocketHandle s, WakeHandle wake, int timeoutMs)
{
    return Wait(s, POLLIN, wake, timeoutMs);
}

int NetWaitWritable(SocketHandle s, WakeHandle wake, int timeoutMs)
{
    return Wait(s, POLLOUT, wake, timeoutMs);
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
