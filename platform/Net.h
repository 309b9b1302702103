#pragma once
// A thin layer over the platform's sockets (POSIX here, Winsock under _WIN32), so the link's code
// reads the same on both. IPv4 and TCP only; addresses are in network byte order.

#include "platform/WakeFlag.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
using SocketHandle = uintptr_t;
inline constexpr SocketHandle kNoSocket = ~SocketHandle(0);
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
#endif

// Starts and ends the process's use of the socket library. NetLibStart returns 0 or -1.
int NetLibStart();
void NetLibEnd();

// A dotted IPv4 literal; false for anything else, 255.255.255.255 included (it is read as a name).
bool NetParseIPv4(const char* text, uint32_t& address);

// Looks the name up, then the official name it resolves to, and gives the first IPv4 address of
// the second lookup. Returns 0, or -1 when either lookup fails. Blocks as long as the resolver.
int NetResolveHost(const char* name, uint32_t& address);

// One lookup by the system's resolver (getaddrinfo): the name's IPv4 addresses in the resolver's
// order and, when asked for, its official name (empty when the resolver gives none). 0, or -1 when
// the name is unknown or has no IPv4 address.
struct HostLookupResult {
    std::string officialName;
    std::vector<uint32_t> addresses;
};
int NetSystemLookup(const char* name, bool wantOfficialName, HostLookupResult& result);
// The lookup NetResolveHost makes its two lookups with: NetSystemLookup, replaceable so a test can
// see which names are looked up without a name server.
using HostLookup = int (*)(const char* name, bool wantOfficialName, HostLookupResult& result);
extern std::atomic<HostLookup> NetHostLookup;

// A new TCP socket, non-blocking, with keep-alive probing so a peer that vanishes without closing
// shows up as a failed read: first probe after idleSec, then every intervalSec, count probes.
SocketHandle NetOpenStream(int idleSec, int intervalSec, int count);
// Starts a non-blocking connect; its immediate result tells nothing and is not returned.
void NetConnectStart(SocketHandle s, uint32_t address, uint16_t port);
// Whether a connect that polled writable really completed: a refused connect also polls writable.
bool NetConnectCompleted(SocketHandle s);
void NetClose(SocketHandle s);

// Waits until s is readable (or writable), or wake is signalled, or timeoutMs passes (-1: no
// limit; 0: look only). Returns 1 when s is ready, 0 on a time-out or a wake-up, -1 when the wait
// failed. A peer that closed or reset counts as readable, so the read that follows reports it; a
// connect that failed counts as writable, so the connect check that follows reports it.
int NetWaitReadable(SocketHandle s, WakeHandle wake, int timeoutMs);
int NetWaitWritable(SocketHandle s, WakeHandle wake, int timeoutMs);

// One receive or send call, no flags besides keeping a broken pipe from raising a signal. The
// count of bytes, 0 when the peer has closed (receive), or negative on failure.
long NetRecv(SocketHandle s, void* buffer, size_t length);
long NetSend(SocketHandle s, const void* bytes, size_t length);
// The error code of the last failed call on this thread; 0 after a receive that returned 0.
int NetLastError();

// Counts the connect calls made, so a test can see that an attempt made exactly one.
extern std::atomic<unsigned> NetConnectCalls;
