#include "SimRunner.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

const char* SimPath()
{
    return QUORVANE_SIM_PATH;
}

SimRunner::~SimRunner()
{
    Kill();
}

bool SimRunner::Start(int port, const std::vector<std::string>& args)
{
    Kill();
    error_.clear();
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    std::vector<std::string> all = {SimPath(), "--bind", "127.0.0.1", "--port", std::to_string(port)};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    // Its connection notes would drown the test's output; they stay in the scratch directory.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "quorvane-sim.err", O_WRONLY | O_CREAT | O_APPEND, 0644);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        error_ = std::string("cannot start ") + SimPath() + ": " + std::strerror(rc);
        return false;
    }
    pid_ = pid;

    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char c;
        if (::read(out[0], &c, 1) != 1 || c == '\n')
            break;
        line += c;
    }
    ::close(out[0]);
    const std::string prefix = "listening 127.0.0.1:";
    if (line.rfind(prefix, 0) != 0) {
        error_ = "unexpected first line '" + line + "'";
        Kill();
        return false;
    }
    port_ = std::atoi(line.c_str() + prefix.size());
    return true;
}

void SimRunner::Kill()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}
