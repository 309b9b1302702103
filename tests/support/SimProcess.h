#pragma once
// The real quorvane-sim as a child process on 127.0.0.1, for the tests that drive it, the fault
// tests and the soak driver: started on a free or a given port, its "listening" line read,
// stopped by a signal, killed without warning and started again on the same port. POSIX only.

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

class SimProcess {
public:
    SimProcess() = default;
    // Start(0, args): check running() and error().
    explicit SimProcess(const std::vector<std::string>& args);
    // Kills a simulator still running.
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts quorvane-sim --bind 127.0.0.1 --port <port> (0: a free one) with the extra arguments
    // and waits for its "listening 127.0.0.1:PORT" line. False, with error() set, when it does not
    // come within 10 seconds. Its standard error, the connection notes, is appended to
    // quorvane-sim.err in the working directory, where they do not drown the test's output.
    bool Start(int port, const std::vector<std::string>& args);
    // SIGKILL and reap: the connection ends the way it does when the server host's process dies.
    void Kill();
    // Sends sig and waits for the exit; the exit status (128 + signal when a signal ended it), or
    // -1 when it did not end within 10 seconds (it is still running then).
    int Stop(int sig);

    bool running() const { return pid_ > 0; }
    int port() const { return port_; }
    const std::string& firstLine() const { return firstLine_; }
    const std::string& error() const { return error_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string firstLine_;
    std::string error_;
};

// Path of the simulator binary under test.
const char* SimPath();

// Runs program to its end with the arguments, in the working directory; returns the exit status
// (-1 when it could not start or did not end within the time-out: it is then killed) and what it
// wrote to stdout and stderr.
int RunToEnd(const std::string& program, const std::vector<std::string>& args, std::string& out, std::string& err,
             std::chrono::milliseconds timeout);

// Runs quorvane-sim to its end with the arguments; returns the exit status and the output.
int RunSimToEnd(const std::vector<std::string>& args, std::string& out, std::string& err);
