#pragma once
// The real quorvane-sim as a child process on a loopback port, for the fault tests and the soak
// driver: started, killed without warning and started again on the same port.

#include <string>
#include <sys/types.h>
#include <vector>

class SimRunner {
public:
    SimRunner() = default;
    // Kills a simulator still running.
    ~SimRunner();
    SimRunner(const SimRunner&) = delete;
    SimRunner& operator=(const SimRunner&) = delete;

    // Starts quorvane-sim --bind 127.0.0.1 --port <port> (0: a free one) with the extra arguments
    // and waits for its "listening 127.0.0.1:PORT" line. False, with error() set, when it does not
    // come within 10 seconds.
    bool Start(int port, const std::vector<std::string>& args);
    // SIGKILL and reap: the connection ends the way it does when the server host's process dies.
    void Kill();
    bool running() const { return pid_ > 0; }
    int port() const { return port_; }
    const std::string& error() const { return error_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string error_;
};

// Path of the simulator binary under test.
const char* SimPath();
