#pragma once
// A relay on 127.0.0.1 in front of a loopback server: the link, the probe or the window connects to
// the relay instead of the server, and the test sees what went each way and when the server's bytes
// came. One connection at a time, each to the server anew. POSIX only.

#include <atomic>
#include <chrono>
#include <functional>
#include <string_view>
#include <thread>

class LoopbackRelay {
public:
    using Clock = std::chrono::steady_clock;
    // Called on the relay's thread with each piece the server sent, before it is passed on: the
    // connection's number (0 for the first), the bytes, and when they arrived.
    using ServerBytes = std::function<void(int connection, std::string_view bytes, Clock::time_point at)>;

    explicit LoopbackRelay(int serverPort, ServerBytes onServerBytes = nullptr);
    // Ends the connection in progress and stops listening.
    ~LoopbackRelay();
    LoopbackRelay(const LoopbackRelay&) = delete;
    LoopbackRelay& operator=(const LoopbackRelay&) = delete;

    // False when the relay could not listen.
    bool ok() const { return listen_ >= 0; }
    int port() const { return port_; }
    // Bytes from the client to the server and back, over every connection so far.
    long long requestBytes() const { return requestBytes_.load(); }
    long long answerBytes() const { return answerBytes_.load(); }
    // Connections accepted so far, including those the server refused.
    int connections() const { return connections_.load(); }

private:
    void Run();
    // Copies both ways until either side closes or the relay stops.
    void Pass(int connection, int client, int server);

    int serverPort_;
    ServerBytes onServerBytes_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<long long> requestBytes_{0};
    std::atomic<long long> answerBytes_{0};
    std::atomic<int> connections_{0};
    std::thread thread_;
};
