#include "platform/Net.h"

// winsock2.h first: the others build on its types.
#include <mstcpip.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

std::atomic<unsigned> NetConnectCalls{0};

namespace {

// Winsock cannot wait on the wake-up pipe, so a long wait is cut into slices; the caller looks
// at its stop flag between them.
constexpr int kWaitSliceMs = 50;

int Wait(SocketHandle s, bool write, int timeoutMs)
{
    if (s == kNoSocket)
        return -1;
    if (timeoutMs < 0 || timeoutMs > kWaitSliceMs)
        timeoutMs = kWaitSliceMs;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(SOCKET(s), &set);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    int n = ::select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, &tv);
    if (n == SOCKET_ERROR)
        return -1;
    return n > 0 ? 1 : 0;
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

bool NetParseIPv4(const char* text, uint32_t& address)
{
    unsigned long a = ::inet_addr(text);
    if (a == INADDR_NONE)
        return false;
    address = uint32_t(a);
    return true;
}

int NetResolveHost(const char* name, uint32_t& address)
{
    hostent* host = ::gethostbyname(name);
    if (!host)
        return -1;
    host = ::gethostbyname(host->h_name);
    if (!host || host->h_addrtype != AF_INET || !host->h_addr_list[0])
        return -1;
    in_addr a;
    std::memcpy(&a, host->h_addr_list[0], sizeof a);
    address = a.s_addr;
    return 0;
}

SocketHandle NetOpenStream(int idleSec, int intervalSec, int count)
{
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return kNoSocket;
    u_long on = 1;
    ::ioctlsocket(s, FIONBIO, &on);
    tcp_keepalive ka{1, ULONG(idleSec) * 1000, ULONG(intervalSec) * 1000};
    DWORD returned = 0;
    ::WSAIoctl(s, SIO_KEEPALIVE_VALS, &ka, sizeof ka, nullptr, 0, &returned, nullptr, nullptr);
#ifdef TCP_KEEPCNT
    DWORD probes = DWORD(count);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, reinterpret_cast<const char*>(&probes), sizeof probes);
#else
    (void)count;
#endif
    return SocketHandle(s);
}

void NetConnectStart(SocketHandle s, uint32_t address, uint16_t port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    NetConnectCalls.fetch_add(1, std::memory_order_relaxed);
    ::connect(SOCKET(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
}

bool NetConnectCompleted(SocketHandle s)
{
    // Winsock reports a failed connect in the exception set, never as writable.
    int err = 0;
    int len = sizeof err;
    return ::getsockopt(SOCKET(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) == 0 && err == 0;
}

void NetClose(SocketHandle s)
{
    if (s != kNoSocket)
        ::closesocket(SOCKET(s));
}

int NetWaitReadable(SocketHandle s, int, int timeoutMs)
{
    return Wait(s, false, timeoutMs);
}

int NetWaitWritable(SocketHandle s, int, int timeoutMs)
{
    return Wait(s, true, timeoutMs);
}

long NetRecv(SocketHandle s, void* buffer, size_t length)
{
    ::WSASetLastError(0);
    return ::recv(SOCKET(s), static_cast<char*>(buffer), int(length), 0);
}

long NetSend(SocketHandle s, const void* bytes, size_t length)
{
    ::WSASetLastError(0);
    return ::send(SOCKET(s), static_cast<const char*>(bytes), int(length), 0);
}

int NetLastError()
{
    return ::WSAGetLastError();
}
