#include "link/Transport.h"

#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
constexpr int kWouldBlock = WSAEWOULDBLOCK;
#else
#include <arpa/inet.h>
#include <cerrno>
#include <filesystem>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

constexpr int kWouldBlock = EAGAIN;
#endif

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

// Counting open descriptors shows a leaked socket; Windows has no reliable count (Wine has none).
#ifdef _WIN32
constexpr bool kCountsDescriptors = false;
size_t OpenDescriptors()
{
    return 0;
}
#else
constexpr bool kCountsDescriptors = true;
size_t OpenDescriptors()
{
    size_t n = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}
#endif

// Winsock may write a single byte for a boolean option, so the value starts at 0.
int SocketOption(SocketHandle s, int level, int name)
{
    int value = 0;
    socklen_t len = sizeof value;
#ifdef _WIN32
    ::getsockopt(SOCKET(s), level, name, reinterpret_cast<char*>(&value), &len);
#else
    ::getsockopt(s, level, name, &value, &len);
#endif
    return value;
}

// A resolver that knows one name and records what it was asked.
std::vector<std::string> asked;
int FakeResolver(const char* name, uint32_t& address)
{
    asked.push_back(name);
    if (std::string(name) != "cti-server")
        return -1;
    address = htonl(INADDR_LOOPBACK);
    return 0;
}

class TransportTest : public ::testing::Test {
protected:
    SharedConfig config;
    LinkTiming timing = ShortTiming();
    TagTcpConnection link{config, timing, NoConnect{}};
    LoopbackServer server;
    unsigned connectsBefore = NetConnectCalls.load();

    void SetUp() override
    {
        asked.clear();
        LinkRunning.Set();
    }
    void TearDown() override { LinkResolver = &NetResolveHost; }
    unsigned Connects() const { return NetConnectCalls.load() - connectsBefore; }
};

TEST_F(TransportTest, StartupAndCleanupAreIdempotent)
{
    NetCleanup();
    NetCleanup();
    EXPECT_FALSE(NetStarted);
    EXPECT_EQ(NetStartup(), 0);
    EXPECT_EQ(NetStartup(), 0);
    EXPECT_TRUE(NetStarted);
    NetCleanup();
    EXPECT_FALSE(NetStarted);
}

TEST_F(TransportTest, ConnectsWithKeepAliveOnANonBlockingSocket)
{
    ASSERT_EQ(TimedConnect(link, "127.0.0.1", server.port(), 2s), 0);
    ASSERT_NE(link.linkSocket, kNoSocket);
    EXPECT_EQ(Connects(), 1u);
    Peer peer = server.Accept(1s);
    EXPECT_TRUE(peer.valid());
    // Non-blocking: a read with nothing to read returns at once with "try again".
    char byte;
    EXPECT_EQ(NetRecv(link.linkSocket, &byte, 1), -1);
    EXPECT_EQ(NetLastError(), kWouldBlock);
    EXPECT_EQ(SocketOption(link.linkSocket, SOL_SOCKET, SO_KEEPALIVE), 1);
#ifndef _WIN32
    // Winsock sets the timers through an ioctl that cannot be read back.
    EXPECT_EQ(SocketOption(link.linkSocket, IPPROTO_TCP, TCP_KEEPIDLE), 10);
    EXPECT_EQ(SocketOption(link.linkSocket, IPPROTO_TCP, TCP_KEEPINTVL), 5);
    EXPECT_EQ(SocketOption(link.linkSocket, IPPROTO_TCP, TCP_KEEPCNT), 3);
#endif
}

TEST_F(TransportTest, PortUsesItsLowSixteenBits)
{
    ASSERT_EQ(TimedConnect(link, "127.0.0.1", server.port() + 65536, 2s), 0);
    EXPECT_TRUE(server.Accept(1s).valid());
}

TEST_F(TransportTest, RefusedPortTimesOutAfterOneConnectAndDropsTheOldSocket)
{
    link.linkSocket = server.Connect(); // the connection of an earlier attempt
    ASSERT_NE(link.linkSocket, kNoSocket);
    Peer old = server.Accept(1s);
    connectsBefore = NetConnectCalls.load();
    const size_t fds = OpenDescriptors();

    const auto start = Clock::now();
    EXPECT_EQ(TimedConnect(link, "127.0.0.1", ClosedPort(), 200ms), kConnectTimedOut);
    EXPECT_GE(Clock::now() - start, 200ms);
    EXPECT_EQ(Connects(), 1u);
    EXPECT_EQ(link.linkSocket, kNoSocket);
    EXPECT_TRUE(old.WaitClosed(1s));
    if (kCountsDescriptors) {
        EXPECT_EQ(OpenDescriptors(), fds - 1);
    }
}

TEST_F(TransportTest, StopsWhenLinkRunningIsClear)
{
    LinkRunning.Clear();
    EXPECT_EQ(TimedConnect(link, "127.0.0.1", server.port(), 2s), kConnectStopped);
    EXPECT_EQ(Connects(), 0u);

    LinkRunning.Set();
    const size_t fds = OpenDescriptors();
    std::thread stopper([] {
        std::this_thread::sleep_for(100ms);
        LinkRunning.Clear();
    });
    const auto start = Clock::now();
    EXPECT_EQ(TimedConnect(link, "127.0.0.1", ClosedPort(), 60s), kConnectStopped);
    EXPECT_LT(Clock::now() - start, 10s);
    stopper.join();
    EXPECT_EQ(Connects(), 1u);
    EXPECT_EQ(link.linkSocket, kNoSocket);
    if (kCountsDescriptors) {
        EXPECT_EQ(OpenDescriptors(), fds);
    }
}

TEST_F(TransportTest, LiteralsSkipTheLookupAndNamesUseTheResolver)
{
    LinkResolver = &FakeResolver;
    struct Case {
        const char* host;
        int result;
        unsigned connects;
        bool looked;
    } cases[] = {
        {"127.0.0.1", 0, 1, false},
        {"cti-server", 0, 1, true},
        {"255.255.255.255", kHostNotResolved, 0, true},
        {"no-such-host.invalid", kHostNotResolved, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        asked.clear();
        connectsBefore = NetConnectCalls.load();
        EXPECT_EQ(TimedConnect(link, c.host, server.port(), 2s), c.result);
        EXPECT_EQ(Connects(), c.connects);
        EXPECT_EQ(asked, c.looked ? std::vector<std::string>{c.host} : std::vector<std::string>{});
        if (c.result == 0) {
            EXPECT_TRUE(server.Accept(1s).valid());
        }
    }
}

TEST_F(TransportTest, DefaultResolverFindsLocalhost)
{
    uint32_t address = 0;
    ASSERT_EQ(NetResolveHost("localhost", address), 0);
    EXPECT_EQ(address, htonl(INADDR_LOOPBACK));
    ASSERT_EQ(TimedConnect(link, "localhost", server.port(), 2s), 0);
    EXPECT_TRUE(server.Accept(1s).valid());
}

TEST_F(TransportTest, WaitsReportReadinessWakeUpsAndFailures)
{
    ASSERT_EQ(TimedConnect(link, "127.0.0.1", server.port(), 2s), 0);
    Peer peer = server.Accept(1s);
    EXPECT_EQ(WaitWritable(link.linkSocket), 1);
    EXPECT_EQ(WaitReadable(link.linkSocket), 0);

    WakeFlag stop;
    std::thread waker([&] {
        std::this_thread::sleep_for(50ms);
        stop.Set();
    });
    EXPECT_EQ(WaitReadable(link.linkSocket, stop.Handle(), -1), 0);
    waker.join();

    peer.Send("x");
    EXPECT_EQ(WaitReadable(link.linkSocket, stop.Handle(), 2000), 1);

    SocketHandle closed = NetOpenStream(10, 5, 3);
    NetClose(closed);
    EXPECT_LT(WaitReadable(closed), 0);
    EXPECT_LT(WaitReadable(kNoSocket), 0);
}

// What comes while a wait is under way ends it: bytes, then the peer's close. Between the two the
// socket is drained, so each wait starts with nothing to read. The wake flag stays clear.
TEST_F(TransportTest, WaitEndsOnBytesOrCloseThatComeDuringIt)
{
    ASSERT_EQ(TimedConnect(link, "127.0.0.1", server.port(), 2s), 0);
    Peer peer = server.Accept(1s);
    WakeFlag stop;
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close ? "close" : "bytes");
        std::thread sender([&] {
            std::this_thread::sleep_for(50ms);
            if (close)
                peer.Close();
            else
                peer.Send("abc");
        });
        EXPECT_EQ(WaitReadable(link.linkSocket, stop.Handle(), 5000), 1);
        sender.join();
        char buf[8];
        EXPECT_EQ(NetRecv(link.linkSocket, buf, sizeof buf), close ? 0 : 3);
        EXPECT_EQ(WaitReadable(link.linkSocket), close ? 1 : 0);
    }
    EXPECT_FALSE(stop.IsSet());
}

// Every socket needs the library started; on Windows it is counted, and the last clean-up ends it.
TEST(NetLibraryTest, SocketsLiveBetweenStartupAndCleanup)
{
    ASSERT_FALSE(NetStarted);
#ifdef _WIN32
    EXPECT_EQ(NetOpenStream(10, 5, 3), kNoSocket);
    EXPECT_EQ(NetLastError(), WSANOTINITIALISED);
#endif
    ASSERT_EQ(NetStartup(), 0);
    const SocketHandle s = NetOpenStream(10, 5, 3);
    EXPECT_NE(s, kNoSocket);
    NetClose(s);
    NetCleanup();
    EXPECT_FALSE(NetStarted);
#ifdef _WIN32
    EXPECT_EQ(NetOpenStream(10, 5, 3), kNoSocket);
#endif
}

} // namespace
