#pragma once
// The few socket calls of the simulator's server that differ between POSIX and Winsock.
// SimSocketPosix.cpp or SimSocketWin.cpp implements them, so SimServer.cpp is written once.

#include <cstddef>
#include <string>
#include <vector>

#ifdef _WIN32
// winsock2.h first: the others build on its types.
#include <winsock2.h>
#include <ws2tcpip.h>
using SimSocket = SOCKET;
inline constexpr SimSocket kNoSimSocket = INVALID_SOCKET;
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
using SimSocket = int;
inline constexpr SimSocket kNoSimSocket = -1;
#endif

// Holds the socket library for the server's lifetime: Winsock must be started before any call, and
// on POSIX a write to a peer that has gone must not raise SIGPIPE. Reports a failure to stderr.
class SimSocketLibrary {
public:
    SimSocketLibrary();
    // Not defaulted here: on Windows it ends Winsock (SimSocketWin.cpp).
    ~SimSocketLibrary(); // NOLINT(performance-trivially-destructible)
    SimSocketLibrary(const SimSocketLibrary&) = delete;
    SimSocketLibrary& operator=(const SimSocketLibrary&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

// A TCP socket of the family; on POSIX not inherited by child processes.
SimSocket SimOpenStream(int family);
// The next pending connection (kNoSimSocket: none or failed, see SimLastError) and its address.
SimSocket SimAccept(SimSocket listener, sockaddr_storage& from);
bool SimSetNonBlocking(SimSocket s);
bool SimSetOption(SimSocket s, int level, int name, int value);
// Lets a restarted server listen again on a port whose old connections still linger.
bool SimAllowRebind(SimSocket s);
// One receive or send: the byte count, 0 when the peer has closed (receive), negative on failure.
long SimRecv(SimSocket s, char* buffer, size_t length);
long SimSend(SimSocket s, const char* bytes, size_t length);
void SimShutdownWrite(SimSocket s);
void SimClose(SimSocket s);
// Waits for the events asked in fds, at most timeoutMs (-1: no limit). As poll() returns.
int SimPoll(std::vector<pollfd>& fds, int timeoutMs);

// The error of the last failed socket call on this thread and what it means.
int SimLastError();
bool SimInterrupted(int error);
// Nothing to do now, try again when poll says so.
bool SimRetryLater(int error);
// A connection that went away before it was accepted.
bool SimAcceptAborted(int error);
std::string SimErrorText(int error);

// A request to stop the server: SIGINT or SIGTERM on POSIX, Ctrl+C, Ctrl+Break or closing the
// console on Windows. One per process at a time.
class SimStopRequest {
public:
    SimStopRequest() = default;
    ~SimStopRequest();
    SimStopRequest(const SimStopRequest&) = delete;
    SimStopRequest& operator=(const SimStopRequest&) = delete;

    // Reports a failure to stderr.
    bool Install();
    // Adds what the wait must watch for a request, if anything.
    void Watch(std::vector<pollfd>& fds);
    bool Requested(const std::vector<pollfd>& fds) const;
    // The longest a wait may take so that a request is seen in time.
    int LimitWait(int timeoutMs) const;

private:
    size_t index_ = 0;
    bool installed_ = false;
};
