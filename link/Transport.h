#pragma once
// The link's TCP transport: the socket library's start and end, readiness waits and the timed,
// resumable non-blocking connect.

#include "link/Link.h"

#include <atomic>
#include <chrono>
#include <cstdint>

// Keep-alive timers of the link socket: a server host that vanishes without closing the connection
// is noticed after about 25 seconds instead of never.
inline constexpr int kKeepAliveIdleSec = 10;
inline constexpr int kKeepAliveIntervalSec = 5;
inline constexpr int kKeepAliveProbes = 3;

// Results of ConnectStep and TimedConnect.
inline constexpr int kConnectStopped = -1; // LinkRunning was clear
inline constexpr int kHostNotResolved = -2;
inline constexpr int kNoSocketCreated = -3;
inline constexpr int kConnectWaitFailed = -5;
inline constexpr int kConnectTimedOut = -9;

// The socket library has been started (main thread only).
extern std::atomic<bool> NetStarted;

// Turns a host name into an IPv4 address (network byte order): 0, or -1 when it is unknown.
// Replaceable so that a failing lookup can be tested without a name server.
using HostResolver = int (*)(const char* name, uint32_t& address);
extern std::atomic<HostResolver> LinkResolver;

int NetStartup();
void NetCleanup();

// 1 ready, 0 not within timeoutMs (0: look only; -1: no limit) or woken through wake, negative
// when the wait failed.
int WaitReadable(SocketHandle s, WakeHandle wake = kNoWake, int timeoutMs = 0);
int WaitWritable(SocketHandle s, WakeHandle wake = kNoWake, int timeoutMs = 0);

// One step of a resumable connect: 1 connected (the socket is now link.linkSocket), 0 under way,
// kHostNotResolved, kNoSocketCreated or kConnectWaitFailed. Every step first closes the link's
// previous socket.
int ConnectStep(TagTcpConnection& link, const char* host, int port, SocketHandle& pending, bool& inProgress);

// Connect steps link.timing.connectStep apart until connected (0), a step fails (its code), the
// time-out passes (kConnectTimedOut) or LinkRunning is cleared (kConnectStopped).
int TimedConnect(TagTcpConnection& link, const char* host, int port, std::chrono::milliseconds timeout);
