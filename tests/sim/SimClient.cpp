#include "SimClient.h"

#include "FrameDecoder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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
