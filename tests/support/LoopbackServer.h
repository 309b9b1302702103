#pragma once
// A CTI server stand-in for the link tests: listens on 127.0.0.1 at an ephemeral port, and lets the
// test play the server's side of each connection byte by byte. Plus loopback ports that refuse.

#include "platform/Net.h"

#include <chrono>
#include <string>

// One accepted connection, driven by the test.
class Peer {
public:
    explicit Peer(SocketHandle s = kNoSocket) : fd_(s) {}
    Peer(Peer&& other) noexcept : fd_(other.fd_) { other.fd_ = kNoSocket; }
    Peer& operator=(Peer&& other) noexcept;
    ~Peer() { Close(); }

    bool valid() const { return fd_ != kNoSocket; }
    // Reads until n bytes are held, the peer closes or the time-out passes; returns what it got.
    std::string Read(size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    bool Send(const std::string& bytes);
    // True when the other side closes the connection within the time-out.
    bool WaitClosed(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    void Close();
    // Closes with a reset instead of an orderly close: the other side's next send fails at once.
    void Reset();

private:
    SocketHandle fd_;
};

class LoopbackServer {
public:
    LoopbackServer();
    ~LoopbackServer();
    int port() const { return port_; }
    // The next connection, or an invalid Peer when none comes within the time-out.
    Peer Accept(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // From now on connects to the port are refused.
    void StopListening();
    // A non-blocking client socket connected to this server (accept it with Accept), or kNoSocket.
    SocketHandle Connect();

private:
    bool started_ = false; // the socket library, which Windows needs before any socket
    SocketHandle fd_ = kNoSocket;
    int port_ = 0;
};

// The error code a send or receive reports on a connection the peer has reset.
#ifdef _WIN32
inline constexpr int kConnectionReset = 10054; // WSAECONNRESET
#else
inline constexpr int kConnectionReset = 104; // ECONNRESET
#endif

// A loopback port that nothing listens on: connects to it are refused. Another program may take the
// port once it is returned; RefusingPort holds it.
int ClosedPort();

// A loopback port that is bound but not listening: a connect to it is refused, and nothing else
// can take the port while the object lives.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    int port() const { return port_; }

private:
    bool started_ = false;
    SocketHandle socket_ = kNoSocket;
    int port_ = 0;
};
