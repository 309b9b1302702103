#include "link/Transport.h"

#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
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

// A resolver of a few made-up names that records each lookup: name, and whether the official name was
// asked for.
struct Lookup {
    std::string name;
    bool official;
    bool operator==(const Lookup&) const = default;
};
std::vector<Lookup> lookups;
struct FakeHost {
    const char* name;
    const char* official;
    std::vector<uint32_t> addresses;
};
std::vector<FakeHost> fakeHosts;

int FakeLookup(const char* name, bool wantOfficialName, HostLookupResult& result)
{
    lookups.push_back({name, wantOfficialName});
    result = HostLookupResult();
    for (const FakeHost& h : fakeHosts) {
        if (h.name == std::string(name)) {
            result.officialName = wantOfficialName ? h.official : "";
            result.addresses = h.addresses;
            return h.addresses.empty() ? -1 : 0;
        }
    }
    return -1;
}

void PrintTo(const Lookup& l, std::ostream* os)
{
    *os << l.name << (l.official ? " (official name asked)" : "");
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
    void TearDown() override
    {
        LinkResolver = &NetResolveHost;
        NetHostLookup = &NetSystemLookup;
    }
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

// The name is looked up, then the official name it gave, and the second lookup's first address is the
// one used. The first lookup's addresses are never used: here they are none, or an address that is
// only data (nothing connects to it).
TEST_F(TransportTest, ResolverLooksTheOfficialNameUpAgain)
{
    NetHostLookup = &FakeLookup;
    const uint32_t loopback = htonl(INADDR_LOOPBACK);
    const uint32_t other = htonl(0x7F000002); // only compared, never connected to
    struct Case {
        const char* what;
        std::vector<FakeHost> hosts;
        int result;
        uint32_t address;
        std::vector<Lookup> asked;
    } cases[] = {
        {"official name looked up again",
         {{"cti-server", "cti.plant.example", {other}}, {"cti.plant.example", "", {loopback, other}}},
         0,
         loopback,
         {{"cti-server", true}, {"cti.plant.example", false}}},
        {"no official name: the name itself again",
         {{"cti-server", "", {other}}},
         0,
         other,
         {{"cti-server", true}, {"cti-server", false}}},
        {"first lookup fails", {}, -1, 0, {{"cti-server", true}}},
        {"official name unknown",
         {{"cti-server", "cti.plant.example", {other}}},
         -1,
         0,
         {{"cti-server", true}, {"cti.plant.example", false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fakeHosts = c.hosts;
        lookups.clear();
        uint32_t address = 0;
        EXPECT_EQ(NetResolveHost("cti-server", address), c.result);
        EXPECT_EQ(address, c.address);
        EXPECT_EQ(lookups, c.asked);
    }
}

// ConnectStep through the program's resolver: the connect goes to the address of the second lookup.
TEST_F(TransportTest, ConnectStepConnectsToTheAddressOfTheSecondLookup)
{
    NetHostLookup = &FakeLookup;
    fakeHosts = {{"cti-server", "cti.plant.example", {htonl(INADDR_LOOPBACK)}},
                 {"cti.plant.example", "", {htonl(INADDR_LOOPBACK)}}};
    // The first lookup succeeds but brings no address: only the second one can lead the connect
    // anywhere, so a resolver that skipped it fails here rather than connecting elsewhere.
    HostLookup firstHasNone = [](const char* name, bool official, HostLookupResult& result) {
        const int rc = FakeLookup(name, official, result);
        if (official)
            result.addresses.clear();
        return rc;
    };
    NetHostLookup = firstHasNone;
    lookups.clear();
    ASSERT_EQ(TimedConnect(link, "cti-server", server.port(), 2s), 0);
    EXPECT_TRUE(server.Accept(1s).valid());
    EXPECT_EQ(Connects(), 1u);
    EXPECT_EQ(lookups, (std::vector<Lookup>{{"cti-server", true}, {"cti.plant.example", false}}));
}

TEST_F(TransportTest, SystemLookupKnowsLocalhost)
{
    HostLookupResult result;
    ASSERT_EQ(NetSystemLookup("localhost", true, result), 0);
    EXPECT_NE(std::find(result.addresses.begin(), result.addresses.end(), htonl(INADDR_LOOPBACK)),
              result.addresses.end());
    EXPECT_FALSE(result.officialName.empty());
    HostLookupResult again;
    ASSERT_EQ(NetSystemLookup(result.officialName.c_str(), false, again), 0);
    EXPECT_TRUE(again.officialName.empty()); // not asked for
    EXPECT_EQ(NetSystemLookup("no-such-host.invalid", true, result), -1);
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
