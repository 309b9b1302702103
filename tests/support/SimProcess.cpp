#include "support/SimProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

extern char** environ;

namespace {

// Starts program with its standard output on outFd and its standard error on errFd, or appended
// to the file errPath when errFd is -1; -1 when it cannot start.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args, int outFd, int errFd,
            const char* errPath = nullptr)
{
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    if (errFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    } else if (errPath) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath, O_WRONLY | O_CREAT | O_APPEND, 0644);
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits up to timeout for the child to end; its exit status, 128 + signal, or -1.
int WaitExit(pid_t pid, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (r < 0 || std::chrono::steady_clock::now() > deadline) {
            return -1;
        }
        std::this_thread::sleep_for(5ms);
    }
}

// Reads what the two descriptors deliver, side by side so neither pipe fills up while the other is
// read, until both close or the deadline passes.
void ReadBoth(int outFd, int errFd, std::chrono::steady_clock::time_point deadline, std::string& out, std::string& err)
{
    char buf[65536];
    int fds[2] = {outFd, errFd};
    std::string* texts[2] = {&out, &err};
    while (fds[0] >= 0 || fds[1] >= 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
        if (left.count() <= 0 || poll(p, 2, static_cast<int>(left.count())) <= 0) {
            return;
        }
        for (int k = 0; k < 2; ++k) {
            if (fds[k] < 0 || !(p[k].revents & (POLLIN | POLLHUP | POLLERR))) {
                continue;
            }
            const ssize_t n = read(fds[k], buf, sizeof buf);
            if (n <= 0) {
                fds[k] = -1;
            } else {
                texts[k]->append(buf, static_cast<size_t>(n));
            }
        }
    }
}

} // namespace

const char* SimPath()
{
    return QUORVANE_SIM_PATH;
}

SimProcess::SimProcess(const std::vector<std::string>& args)
{
    Start(0, args);
}

SimProcess::~SimProcess()
{
    Kill();
}

bool SimProcess::Start(int port, const std::vector<std::string>& args)
{
    Kill();
    error_.clear();
    firstLine_.clear();
    port_ = 0;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    std::vector<std::string> all = {"--bind", "127.0.0.1", "--port", std::to_string(port)};
    all.insert(all.end(), args.begin(), args.end());
    pid_ = Spawn(SimPath(), all, out[1], -1, "quorvane-sim.err");
    close(out[1]);
    if (pid_ < 0) {
        close(out[0]);
        error_ = std::string("cannot start ") + SimPath();
        return false;
    }

    const auto deadline = std::chrono::steady_clock::now() + 10s;
    bool ended = false;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) {
            continue;
        }
        char c = 0;
        if (read(out[0], &c, 1) != 1) {
            ended = true;
            break;
        }
        if (c == '\n') {
            break;
        }
        firstLine_.push_back(c);
    }
    close(out[0]);
    const std::string prefix = "listening 127.0.0.1:";
    if (firstLine_.rfind(prefix, 0) != 0) {
        error_ = ended ? "quorvane-sim ended before it listened (see quorvane-sim.err)"
                       : "unexpected first line '" + firstLine_ + "'";
        Kill();
        return false;
    }
    port_ = std::atoi(firstLine_.c_str() + prefix.size());
    return true;
}

void SimProcess::Kill()
{
    if (pid_ <= 0) {
        return;
    }
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

int SimProcess::Stop(int sig)
{
    if (pid_ <= 0) {
        return -1;
    }
    kill(pid_, sig);
    const int status = WaitExit(pid_, 10s);
    if (status >= 0) {
        pid_ = -1;
    }
    return status;
}

int RunToEnd(const std::string& program, const std::vector<std::string>& args, std::string& out, std::string& err,
             std::chrono::milliseconds timeout)
{
    out.clear();
    err.clear();
    int o[2];
    int e[2];
    if (pipe2(o, O_CLOEXEC) != 0 || pipe2(e, O_CLOEXEC) != 0) {
        return -1;
    }
    const pid_t pid = Spawn(program, args, o[1], e[1]);
    close(o[1]);
    close(e[1]);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    ReadBoth(o[0], e[0], deadline, out, err);
    close(o[0]);
    close(e[0]);
    if (pid < 0) {
        return -1;
    }
    const int status = WaitExit(pid, std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::max(deadline - std::chrono::steady_clock::now(),
                                                  std::chrono::steady_clock::duration(std::chrono::seconds(1)))));
    if (status < 0) {
        kill(pid, SIGKILL);
        WaitExit(pid, 10s);
    }
    return status;
}

int RunSimToEnd(const std::vector<std::string>& args, std::string& out, std::string& err)
{
    return RunToEnd(SimPath(), args, out, err, 10s);
}
