#pragma once
// A client of the simulator for its tests: sends polls and reads whole answer frames, noting when
// their first and last bytes arrived. POSIX only.

#include <chrono>
#include <string>

class SimClient {
public:
    explicit SimClient(int port);
    ~SimClient();
    SimClient(const SimClient&) = delete;
    SimClient& operator=(const SimClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    bool Send(const std::string& bytes);
    bool SendPoll() { return Send("00011"); }

    enum class Read { Frame, Closed, TimedOut };
    // Reads until one whole frame is held, the peer closes or the time-out passes.
    Read ReadFrame(std::string& frame, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Reads exactly n bytes, unless the peer closes or the time-out passes first.
    Read ReadBytes(size_t n, std::string& bytes, std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // When the first and the last byte of the latest ReadFrame arrived.
    std::chrono::steady_clock::time_point firstByteAt{};
    std::chrono::steady_clock::time_point lastByteAt{};

private:
    Read Fill(std::chrono::steady_clock::time_point deadline);

    int fd_ = -1;
    std::string held_;
};
