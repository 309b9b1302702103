#pragma once
// Runs the real quorvane-sim binary for a test and talks to it over loopback.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

class SimProcess {
public:
    // Starts quorvane-sim --port 0 with the extra arguments and reads its "listening" line.
    explicit SimProcess(const std::vector<std::string>& args);
    // Ends a simulator still running (SIGKILL) and reaps it.
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    int port() const { return port_; }
    const std::string& firstLine() const { return firstLine_; }
    // Sends sig and waits for the exit; the exit status, or -1 when it did not end in time.
    int Stop(int sig);

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int port_ = 0;
    std::string firstLine_;
};

// Runs program to its end with the arguments, in the working directory; returns the exit status
// (-1 when it could not start or did not end within the time-out: it is then killed) and what it
// wrote to stdout and stderr.
int RunToEnd(const std::string& program, const std::vector<std::string>& args, std::string& out, std::string& err,
             std::chrono::milliseconds timeout);

// Runs quorvane-sim to its end with the arguments; returns the exit status and the output.
int RunSimToEnd(const std::vector<std::string>& args, std::string& out, std::string& err);

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
