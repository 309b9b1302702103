#include "sim/SimServer.h"

#include "sim/SimFeed.h"
#include "sim/SimSocket.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr char kPoll[] = "00011";
constexpr size_t kPollSize = 5;
// A client that sends polls far faster than it reads answers is not a monitor; drop it rather
// than queue without bound.
constexpr size_t kMaxQueuedPolls = 4096;
// After the last answer, wait this long for the peer to close before closing hard.
constexpr auto kLingerTime = 2s;

std::string AddressText(const sockaddr* addr)
{
    char host[NI_MAXHOST] = "?";
    char port[NI_MAXSERV] = "?";
    const socklen_t len = addr->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    getnameinfo(addr, len, host, sizeof host, port, sizeof port, NI_NUMERICHOST | NI_NUMERICSERV);
    if (addr->sa_family == AF_INET6) {
        return std::string("[") + host + "]:" + port;
    }
    return std::string(host) + ":" + port;
}

struct Client {
    SimSocket fd = kNoSimSocket;
    std::string peer;
    std::string inbox;
    std::deque<Clock::time_point> polls; // arrival times of polls not yet answered
    std::string outbox;
    size_t outPos = 0;
    Clock::time_point nextPiece{};
    int answers = 0;
    bool lastAnswerQueued = false;
    std::optional<Clock::time_point> lingerSince; // write side shut, waiting for the peer
    bool dead = false;
    std::unique_ptr<SimFeed> feed;
};

class Server {
public:
    Server(const SimOptions& options, SimStopRequest& stop)
        : options_(options), stop_(stop), model_(options.lines, options.language, options.seed, options.hostile)
    {
    }
    ~Server()
    {
        for (Client& c : clients_) {
            SimClose(c.fd);
        }
        if (listenFd_ != kNoSimSocket) {
            SimClose(listenFd_);
        }
    }

    bool Listen(std::FILE* out);
    void Run();

private:
    void Accept();
    void Read(Client& c);
    void Answer(Client& c, Clock::time_point now);
    void Write(Client& c, Clock::time_point now);
    void StartLinger(Client& c, Clock::time_point now);
    void Drop(Client& c, const char* why);
    bool Closes(const Client& c) const { return options_.closeAfter >= 0 && c.answers >= options_.closeAfter; }
    bool WantsWrite(const Client& c, Clock::time_point now) const
    {
        return c.outPos < c.outbox.size() && (options_.chunk == 0 || now >= c.nextPiece);
    }

    const SimOptions& options_;
    SimStopRequest& stop_;
    SimModel model_;
    SimSocket listenFd_ = kNoSimSocket;
    std::list<Client> clients_;
};

bool Server::Listen(std::FILE* out)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(options_.port);
    if (const int rc = getaddrinfo(options_.bind.c_str(), port.c_str(), &hints, &found); rc != 0) {
        std::fprintf(stderr, "quorvane-sim: cannot use address '%s': %s\n", options_.bind.c_str(), gai_strerror(rc));
        return false;
    }
    const SimSocket fd = SimOpenStream(found->ai_family);
    if (fd == kNoSimSocket || !SimAllowRebind(fd) ||
        bind(fd, found->ai_addr, static_cast<socklen_t>(found->ai_addrlen)) != 0 || listen(fd, 16) != 0 ||
        !SimSetNonBlocking(fd)) {
        std::fprintf(stderr, "quorvane-sim: cannot listen on %s port %d: %s\n", options_.bind.c_str(), options_.port,
                     SimErrorText(SimLastError()).c_str());
        freeaddrinfo(found);
        if (fd != kNoSimSocket) {
            SimClose(fd);
        }
        return false;
    }
    freeaddrinfo(found);
    listenFd_ = fd;
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
    std::fprintf(out, "listening %s\n", AddressText(reinterpret_cast<sockaddr*>(&bound)).c_str());
    std::fflush(out);
    return true;
}

void Server::Accept()
{
    for (;;) {
        sockaddr_storage from{};
        const SimSocket fd = SimAccept(listenFd_, from);
        if (fd == kNoSimSocket) {
            if (const int error = SimLastError(); !SimRetryLater(error) && !SimAcceptAborted(error)) {
                std::fprintf(stderr, "quorvane-sim: accept: %s\n", SimErrorText(error).c_str());
            }
            return;
        }
        if (!SimSetNonBlocking(fd)) {
            SimClose(fd);
            continue;
        }
        // Pieces written with --chunk should leave one by one, not wait for each other.
        SimSetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
        Client& c = clients_.emplace_back();
        c.fd = fd;
        c.peer = AddressText(reinterpret_cast<sockaddr*>(&from));
        c.feed = std::make_unique<SimFeed>(model_);
        std::fprintf(stderr, "quorvane-sim: %s connected\n", c.peer.c_str());
    }
}

void Server::Read(Client& c)
{
    char buf[4096];
    const long n = SimRecv(c.fd, buf, sizeof buf);
    if (n == 0) {
        Drop(c, "closed by peer");
        return;
    }
    if (n < 0) {
        if (const int error = SimLastError(); !SimRetryLater(error)) {
            Drop(c, SimErrorText(error).c_str());
        }
        return;
    }
    if (c.lingerSince) {
        return; // the last answer is out; whatever comes now is not answered
    }
    c.inbox.append(buf, static_cast<size_t>(n));
    const auto now = Clock::now();
    size_t pos = 0;
    for (; c.inbox.size() - pos >= kPollSize; pos += kPollSize) {
        if (c.inbox.compare(pos, kPollSize, kPoll) != 0) {
            Drop(c, "sent bytes that are not a poll");
            return;
        }
        c.polls.push_back(now);
    }
    c.inbox.erase(0, pos);
    if (c.polls.size() > kMaxQueuedPolls) {
        Drop(c, "sent polls without reading the answers");
    }
}

void Server::Answer(Client& c, Clock::time_point now)
{
    const auto delay = std::chrono::milliseconds(options_.delayMs);
    if (c.lingerSince || c.outPos < c.outbox.size()) {
        return;
    }
    if (Closes(c)) {
        StartLinger(c, now);
        return;
    }
    if (c.polls.empty() || now < c.polls.front() + delay) {
        return;
    }
    c.polls.pop_front();
    const auto after = [&](int n) { return n >= 0 && c.answers >= n; };
    if (after(options_.stallAfter)) {
        c.polls.clear();
        return;
    }
    if (after(options_.garbageAfter)) {
        c.outbox = GarbageAnswer();
    } else if (after(options_.oversizeAfter)) {
        c.outbox = OversizeFrame(model_);
    } else {
        c.outbox = c.feed->NextFrame(options_.length);
        // The platform moves on between answers; every client is owed what changed.
        const SimChanges changes = model_.Step(options_.changeRate);
        for (Client& other : clients_) {
            if (other.feed) {
                other.feed->MarkChanged(changes);
            }
        }
    }
    c.outPos = 0;
    c.nextPiece = now;
    ++c.answers;
}

void Server::Write(Client& c, Clock::time_point now)
{
    while (WantsWrite(c, now)) {
        size_t count = c.outbox.size() - c.outPos;
        if (options_.chunk > 0) {
            count = std::min(count, static_cast<size_t>(options_.chunk));
        }
        const long n = SimSend(c.fd, c.outbox.data() + c.outPos, count);
        if (n < 0) {
            if (const int error = SimLastError(); !SimRetryLater(error)) {
                Drop(c, SimErrorText(error).c_str());
            }
            return;
        }
        c.outPos += static_cast<size_t>(n);
        if (options_.chunk > 0) {
            c.nextPiece = now + std::chrono::milliseconds(kChunkGapMs);
        }
    }
    if (c.outPos >= c.outbox.size() && !c.outbox.empty()) {
        c.outbox.clear();
        c.outPos = 0;
        if (Closes(c)) {
            StartLinger(c, now);
        }
    }
}

// Shuts the write side and keeps reading until the peer closes: closing at once with unread polls
// in the socket would reset the connection and could destroy the last answer before it is read.
void Server::StartLinger(Client& c, Clock::time_point now)
{
    if (!c.lingerSince) {
        std::fprintf(stderr, "quorvane-sim: %s closing after %d answers\n", c.peer.c_str(), c.answers);
        SimShutdownWrite(c.fd);
        c.lingerSince = now;
        c.polls.clear();
    }
}

void Server::Drop(Client& c, const char* why)
{
    if (!c.dead) {
        std::fprintf(stderr, "quorvane-sim: %s gone (%s) after %d answers\n", c.peer.c_str(), why, c.answers);
        c.dead = true;
    }
}

void Server::Run()
{
    std::vector<pollfd> fds;
    std::vector<Client*> polled;
    for (;;) {
        auto now = Clock::now();
        for (Client& c : clients_) {
            if (c.dead) {
                continue;
            }
            Answer(c, now);
            Write(c, now);
            if (c.lingerSince && now - *c.lingerSince >= kLingerTime) {
                Drop(c, "closed");
            }
        }
        for (auto it = clients_.begin(); it != clients_.end();) {
            if (it->dead) {
                SimClose(it->fd);
                it = clients_.erase(it);
            } else {
                ++it;
            }
        }

        // Sleep until a socket is ready or the earliest timed event (a delayed answer, the next
        // piece of a chunked answer, the end of a linger) is due.
        std::optional<Clock::time_point> wake;
        const auto wakeAt = [&](Clock::time_point t) { wake = wake ? std::min(*wake, t) : t; };
        fds.clear();
        polled.clear();
        stop_.Watch(fds);
        const size_t listenAt = fds.size();
        fds.push_back({listenFd_, POLLIN, 0});
        for (Client& c : clients_) {
            short events = POLLIN;
            if (c.outPos < c.outbox.size()) {
                if (WantsWrite(c, now)) {
                    events |= POLLOUT;
                } else {
                    wakeAt(c.nextPiece);
                }
            } else if (!c.lingerSince && !c.polls.empty()) {
                wakeAt(c.polls.front() + std::chrono::milliseconds(options_.delayMs));
            }
            if (c.lingerSince) {
                wakeAt(*c.lingerSince + kLingerTime);
            }
            fds.push_back({c.fd, events, 0});
            polled.push_back(&c);
        }
        int timeout = -1;
        if (wake) {
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*wake - now).count();
            timeout = static_cast<int>(std::clamp<long long>(ms, 0, 60000));
        }
        if (SimPoll(fds, stop_.LimitWait(timeout)) < 0) {
            if (const int error = SimLastError(); !SimInterrupted(error)) {
                std::fprintf(stderr, "quorvane-sim: poll: %s\n", SimErrorText(error).c_str());
                return;
            }
        }
        if (stop_.Requested(fds)) {
            return;
        }
        if (fds[listenAt].revents & POLLIN) {
            Accept();
        }
        now = Clock::now();
        for (size_t i = 0; i < polled.size(); ++i) {
            Client& c = *polled[i];
            const short revents = fds[listenAt + 1 + i].revents;
            if (revents & (POLLIN | POLLHUP | POLLERR)) {
                Read(c);
            }
            if (!c.dead && (revents & POLLOUT)) {
                Write(c, now);
            }
        }
    }
}

} // namespace

int RunSimServer(const SimOptions& options, std::FILE* out)
{
    const SimSocketLibrary library;
    SimStopRequest stop;
    if (!library.ok() || !stop.Install()) {
        return 1;
    }
    Server server(options, stop);
    if (!server.Listen(out)) {
        return 1;
    }
    server.Run();
    return 0;
}
