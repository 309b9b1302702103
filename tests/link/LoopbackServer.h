#pragma once
// A CTI server stand-in for the link tests: listens on 127.0.0.1 at an ephemeral port, and lets the
// test play the server's side of each connection byte by byte. Plus builders for answer frames.

#include "platform/Net.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using namespace std::chrono_literals;

// One accepted connection, driven by the test.
class Peer {
public:
    explicit Peer(SocketHandle s = kNoSocket) : fd_(s) {}
    Peer(Peer&& other) noexcept : fd_(other.fd_) { other.fd_ = kNoSocket; }
    Peer& operator=(Peer&& other) noexcept;
    ~Peer() { Close(); }

    bool valid() const { return fd_ != kNoSocket; }
    // Reads until n bytes are held, the peer closes or the time-out passes; returns what it got.
    std::string Read(size_t n, std::chrono::milliseconds timeout = 5s);
    bool Send(const std::string& bytes);
    // True when the other side closes the connection within the time-out.
    bool WaitClosed(std::chrono::milliseconds timeout = 5s);
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
    Peer Accept(std::chrono::milliseconds timeout = 5s);
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

// A loopback port that nothing listens on: connects to it are refused.
int ClosedPort();

// Polls cond every millisecond until it holds or the time-out passes; returns cond().
bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds timeout = 5s);

// One answer record: line, column, colour indexes, text and its terminating 0.
std::string Record(int line, int column, int fore, int back, const std::string& text);
// A frame around the records: a text length field ("0012") or a binary one (little-endian).
std::string Frame(int lineCount, const std::string& records, bool textLength = true);

// The messages of Monitor.log in the working directory, time stamps stripped; a line that is not
// in the log's format is returned whole with a "?" in front.
std::vector<std::string> LogMessages();
