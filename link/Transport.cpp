#include "link/Transport.h"

std::atomic<bool> NetStarted{false};
std::atomic<HostResolver> LinkResolver{&NetResolveHost};

namespace {

// A millisecond counter that wraps at 2^32; differences are taken unsigned.
uint32_t TickCount()
{
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

int NetStartup()
{
    if (NetStarted.load())
        return 0;
    if (NetLibStart() != 0)
        return -1;
    NetStarted.store(true);
    return 0;
}

void NetCleanup()
{
    if (NetStarted.exchange(false))
        NetLibEnd();
}

int WaitReadable(SocketHandle s, WakeHandle wake, int timeoutMs)
{
    return NetWaitReadable(s, wake, timeoutMs);
}

int WaitWritable(SocketHandle s, WakeHandle wake, int timeoutMs)
{
    return NetWaitWritable(s, wake, timeoutMs);
}

int ConnectStep(TagTcpConnection& link, const char* host, int port, SocketHandle& pending, bool& inProgress)
{
    if (link.linkSocket != kNoSocket) {
        NetClose(link.linkSocket);
        link.linkSocket = kNoSocket;
    }

    if (inProgress) {
        int ready = WaitWritable(pending);
        if (ready < 0) {
            NetClose(pending);
            pending = kNoSocket;
            inProgress = false;
            return kConnectWaitFailed;
        }
        // A refused connect polls writable too; it stays "under way" so the attempt ends at its
        // time-out after this one connect, as it would against a host that does not answer.
        if (ready == 0 || !NetConnectCompleted(pending))
            return 0;
        link.linkSocket = pending;
        pending = kNoSocket;
        inProgress = false;
        return 1;
    }

    uint32_t address = 0;
    if (!NetParseIPv4(host, address) && LinkResolver.load()(host, address) != 0)
        return kHostNotResolved;
    SocketHandle s = NetOpenStream(kKeepAliveIdleSec, kKeepAliveIntervalSec, kKeepAliveProbes);
    if (s == kNoSocket)
        return kNoSocketCreated;
    NetConnectStart(s, address, uint16_t(uint32_t(port) & 0xFFFF));
    pending = s;
    inProgress = true;
    return 0;
}

int TimedConnect(TagTcpConnection& link, const char* host, int port, std::chrono::milliseconds timeout)
{
    const uint32_t start = TickCount();
    const uint64_t limit = uint64_t(timeout.count() < 0 ? 0 : timeout.count());
    SocketHandle pending = kNoSocket;
    bool inProgress = false;
    while (LinkRunning.IsSet()) {
        int step = ConnectStep(link, host, port, pending, inProgress);
        if (step == 1)
            return 0;
        if (step < 0)
            return step;
        if (uint32_t(TickCount() - start) > limit) {
            NetClose(pending);
            return kConnectTimedOut;
        }
        // Wakes at once when the link is being stopped.
        LinkRunning.WaitClear(link.timing.connectStep);
    }
    NetClose(pending);
    return kConnectStopped;
}
