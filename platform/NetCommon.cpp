// The parts of the socket layer that read the same on POSIX and Winsock.
#include "platform/Net.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using NativeSocket = SOCKET;
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
using NativeSocket = int;
#endif

std::atomic<unsigned> NetConnectCalls{0};

bool NetParseIPv4(const char* text, uint32_t& address)
{
    const auto a = ::inet_addr(text);
    if (a == INADDR_NONE)
        return false;
    address = uint32_t(a);
    return true;
}

std::atomic<HostLookup> NetHostLookup{&NetSystemLookup};

int NetSystemLookup(const char* name, bool wantOfficialName, HostLookupResult& result)
{
    result = HostLookupResult();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = wantOfficialName ? AI_CANONNAME : 0;
    addrinfo* list = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &list) != 0 || !list)
        return -1;
    if (wantOfficialName && list->ai_canonname)
        result.officialName = list->ai_canonname;
    for (addrinfo* ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET)
            result.addresses.push_back(reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr);
    }
    ::freeaddrinfo(list);
    return result.addresses.empty() ? -1 : 0;
}

int NetResolveHost(const char* name, uint32_t& address)
{
    const HostLookup lookup = NetHostLookup.load();
    HostLookupResult first;
    if (lookup(name, true, first) != 0)
        return -1;
    // The official name is looked up again and its address used, as the platform's own clients do.
    const std::string official = first.officialName.empty() ? std::string(name) : first.officialName;
    HostLookupResult second;
    if (lookup(official.c_str(), false, second) != 0 || second.addresses.empty())
        return -1;
    address = second.addresses.front();
    return 0;
}

void NetConnectStart(SocketHandle s, uint32_t address, uint16_t port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    NetConnectCalls.fetch_add(1, std::memory_order_relaxed);
    [[maybe_unused]] int rc = ::connect(NativeSocket(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
}

bool NetConnectCompleted(SocketHandle s)
{
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(NativeSocket(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0 || err != 0)
        return false;
    // SO_ERROR is cleared once read, so a refused socket asked a second time would say 0; only a
    // socket with a peer is connected.
    sockaddr_in peer{};
    socklen_t peerLen = sizeof peer;
    return ::getpeername(NativeSocket(s), reinterpret_cast<sockaddr*>(&peer), &peerLen) == 0;
}
