#include "sim/SimSocket.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The signal handler can only write to a pipe; poll() watches its other end.
int signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

SimSocketLibrary::SimSocketLibrary()
{
    signal(SIGPIPE, SIG_IGN);
    ok_ = true;
}

SimSocketLibrary::~SimSocketLibrary() = default;

SimSocket SimOpenStream(int family)
{
    return socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

SimSocket SimAccept(SimSocket listener, sockaddr_storage& from)
{
    socklen_t len = sizeof from;
    const int fd = accept(listener, reinterpret_cast<sockaddr*>(&from), &len);
    if (fd >= 0) {
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    return fd;
}

bool SimSetNonBlocking(SimSocket s)
{
    const int flags = fcntl(s, F_GETFL, 0);
    return flags >= 0 && fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool SimSetOption(SimSocket s, int level, int name, int value)
{
    return setsockopt(s, level, name, &value, sizeof value) == 0;
}

bool SimAllowRebind(SimSocket s)
{
    return SimSetOption(s, SOL_SOCKET, SO_REUSEADDR, 1);
}

long SimRecv(SimSocket s, char* buffer, size_t length)
{
    return recv(s, buffer, length, 0);
}

long SimSend(SimSocket s, const char* bytes, size_t length)
{
    return send(s, bytes, length, MSG_NOSIGNAL);
}

void SimShutdownWrite(SimSocket s)
{
    shutdown(s, SHUT_WR);
}

void SimClose(SimSocket s)
{
    close(s);
}

int SimPoll(std::vector<pollfd>& fds, int timeoutMs)
{
    return poll(fds.data(), fds.size(), timeoutMs);
}

int SimLastError()
{
    return errno;
}

bool SimInterrupted(int error)
{
    return error == EINTR;
}

bool SimRetryLater(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

bool SimAcceptAborted(int error)
{
    return error == ECONNABORTED;
}

std::string SimErrorText(int error)
{
    return std::strerror(error);
}

bool SimStopRequest::Install()
{
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "quorvane-sim: pipe: %s\n", std::strerror(errno));
        return false;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    installed_ = true;
    return true;
}

SimStopRequest::~SimStopRequest()
{
    if (installed_) {
        close(signalPipe[0]);
        close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
    }
}

void SimStopRequest::Watch(std::vector<pollfd>& fds)
{
    index_ = fds.size();
    fds.push_back({signalPipe[0], POLLIN, 0});
}

bool SimStopRequest::Requested(const std::vector<pollfd>& fds) const
{
    return (fds[index_].revents & POLLIN) != 0;
}

int SimStopRequest::LimitWait(int timeoutMs) const
{
    return timeoutMs;
}
