#include "SimProcess.h"

#include "FrameDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

extern char** environ;

namespace {

pid_t Spawn(const std::string& program, const std::vector<std::string>& args, int outFd, int errFd)
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

SimProcess::SimProcess(const std::vector<std::string>& args)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return;
    }
    std::vector<std::string> all = {"--port", "0"};
    all.insert(all.end(), args.begin(), args.end());
    pid_ = Spawn(QUORVANE_SIM_PATH, all, fds[1], -1);
    close(fds[1]);
    out_ = fds[0];
    if (pid_ < 0) {
        ADD_FAILURE() << "cannot start " << QUORVANE_SIM_PATH;
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    char c = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) {
            continue;
        }
        if (read(out_, &c, 1) != 1) {
            ADD_FAILURE() << "quorvane-sim ended before it listened";
            break;
        }
        if (c == '\n') {
            break;
        }
        firstLine_.push_back(c);
    }
    const size_t colon = firstLine_.rfind(':');
    if (firstLine_.rfind("listening 127.0.0.1:", 0) != 0 || colon == std::string::npos) {
        ADD_FAILURE() << "unexpected first line '" << firstLine_ << "'";
        return;
    }
    port_ = std::atoi(firstLine_.c_str() + colon + 1);
}

SimProcess::~SimProcess()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        WaitExit(pid_, 10s);
    }
    if (out_ >= 0) {
        close(out_);
    }
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
    return RunToEnd(QUORVANE_SIM_PATH, args, out, err, 10s);
}

SimClient::SimClient(int port)
{
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ADD_FAILURE() << "connect to 127.0.0.1:" << port << ": " << std::strerror(errno);
        close(fd_);
        fd_ = -1;
    }
}

SimClient::~SimClient()
{
    if (fd_ >= 0) {
        close(fd_);
    }
}

bool SimClient::Send(const std::string& bytes)
{
    return fd_ >= 0 && send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

SimClient::Read SimClient::Fill(std::chrono::steady_clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd_, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
        return Read::TimedOut;
    }
    char buf[65536];
    const ssize_t n = recv(fd_, buf, sizeof buf, 0);
    if (n <= 0) {
        return Read::Closed;
    }
    const auto now = std::chrono::steady_clock::now();
    if (held_.empty()) {
        firstByteAt = now;
    }
    lastByteAt = now;
    held_.append(buf, static_cast<size_t>(n));
    return Read::Frame;
}

SimClient::Read SimClient::ReadFrame(std::string& frame, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (const size_t size = CompleteFrameSize(held_); size > 0) {
            frame = held_.substr(0, size);
            held_.erase(0, size);
            return Read::Frame;
        }
        if (const Read r = Fill(deadline); r != Read::Frame) {
            return r;
        }
    }
}

SimClient::Read SimClient::ReadBytes(size_t n, std::string& bytes, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (held_.size() < n) {
        if (const Read r = Fill(deadline); r != Read::Frame) {
            return r;
        }
    }
    bytes = held_.substr(0, n);
    held_.erase(0, n);
    return Read::Frame;
}
