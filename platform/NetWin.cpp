#include "platform/Net.h"

// winsock2.h first: the others build on its types.
#include <winsock2.h>

#include <mstcpip.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <climits>

namespace {

// Windows has no option for the number of keep-alive probes before Windows 10; there it is 10.
#ifndef TCP_KEEPCNT
#define TCP_KEEPCNT 16
#endif

// 1 ready, 0 not ready, -1 not a usable socket. A failed connect shows in the exception set, never
// as writable, so it is counted as writable for the connect check to report.
int SelectNow(SOCKET s, bool write)
{
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);
    timeval now{0, 0};
    const int n = ::select(0, write ? nullptr : &ready, write ? &ready : nullptr, write ? &failed : nullptr, &now);
    if (n == SOCKET_ERROR)
        return -1;
    return n > 0 ? 1 : 0;
}

// Winsock cannot wait on a socket and an event in one select(), so the socket is tied to an event
// of its own for the wait and both events are waited on. Readiness that came before the tie is not
// signalled again, hence the second look after it.
int Wait(SocketHandle handle, bool write, WakeHandle wake, int timeoutMs)
{
    if (handle == kNoSocket)
        return -1;
    const SOCKET s = SOCKET(handle);
    int ready = SelectNow(s, write);
    if (ready != 0 || timeoutMs == 0)
        return ready;

    WSAEVENT event = ::WSACreateEvent();
    if (event == WSA_INVALID_EVENT)
        return -1;
    const long events = write ? (FD_WRITE | FD_CONNECT | FD_CLOSE) : (FD_READ | FD_CLOSE);
    if (::WSAEventSelect(s, event, events) != 0) {
        ::WSACloseEvent(event);
        return -1;
    }
    ready = SelectNow(s, write);
    if (ready == 0) {
        HANDLE handles[2] = {event, wake};
        const DWORD count = wake != kNoWake ? 2 : 1;
        const DWORD limit = timeoutMs < 0 ? INFINITE : DWORD(timeoutMs);
        const DWORD which = ::WaitForMultipleObjects(count, handles, FALSE, limit);
        if (which == WAIT_OBJECT_0)
            ready = 1;
        else if (which != WAIT_OBJECT_0 + 1 && which != WAIT_TIMEOUT)
            ready = -1;
    }
    // Untying leaves the socket non-blocking, as it was.
    ::WSAEventSelect(s, nullptr, 0);
    ::WSACloseEvent(event);
    return ready;
}

} // namespace

int NetLibStart()
{
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0 ? 0 : -1;
}

void NetLibEnd()
{
    ::WSACleanup();
}

SocketHandle NetOpenStream(int idleSec, int intervalSec, int count)
{
    const SOCKET s = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET)
        return kNoSocket;
    u_long on = 1;
    ::ioctlsocket(s, FIONBIO, &on);
    tcp_keepalive ka{1, ULONG(idleSec) * 1000, ULONG(intervalSec) * 1000};
    DWORD returned = 0;
    ::WSAIoctl(s, SIO_KEEPALIVE_VALS, &ka, sizeof ka, nullptr, 0, &returned, nullptr, nullptr);
    // Refused before Windows 10 1703, which keeps its fixed count.
    const DWORD probes = DWORD(count);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, reinterpret_cast<const char*>(&probes), sizeof probes);
    return SocketHandle(s);
}

void NetClose(SocketHandle s)
{
    if (s != kNoSocket)
        ::closesocket(SOCKET(s));
}

int NetWaitReadable(SocketHandle s, WakeHandle wake, int timeoutMs)
{
    return Wait(s, false, wake, timeoutMs);
}

int NetWaitWritable(SocketHandle s, WakeHandle wake, int timeoutMs)
{
    return Wait(s, true, wake, timeoutMs);
}

long NetRecv(SocketHandle s, void* buffer, size_t length)
{
    ::WSASetLastError(0);
    return ::recv(SOCKET(s), static_cast<char*>(buffer), int(length > INT_MAX ? INT_MAX : length), 0);
}

long NetSend(SocketHandle s, const void* bytes, size_t length)
{
    ::WSASetLastError(0);
    return ::send(SOCKET(s), static_cast<const char*>(bytes), int(length > INT_MAX ? INT_MAX : length), 0);
}

int NetLastError()
{
    return ::WSAGetLastError();
}
