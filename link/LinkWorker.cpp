#include "common/HistorySink.h"
#include "common/MonitorView.h"
#include "common/Texts.h"
#include "link/Link.h"
#include "link/Protocol.h"
#include "link/Transport.h"
#include "settings/EventLog.h"

#include <algorithm>
#include <system_error>

WakeFlag LinkRunning;
TagTcpConnection* CurLink = nullptr;

int64_t SteadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

namespace {

// The first-connect message is built in a text of this many characters at most.
constexpr size_t kMaxConnectMessage = 251;
// Where the system gave no wake-up handle the wait for an answer is cut into slices, so a stop is
// still seen.
constexpr int kWaitSliceMs = 100;

// The link's state for the status panel, when there is a screen to show it, and for the journal.
void ReportLinkState(bool connected)
{
    if (CurView)
        CurView->ShowLinkState(connected);
    if (HistorySink* history = History())
        history->LinkChanged(connected);
}

std::string ConnectFailedText(const TagRunCfg& cfg)
{
    const char* format = cfg.IsEnglish != 0 ? Texts::kConnectFailedEn : Texts::kConnectFailedZh;
    std::string address = cfg.ServerIp;
    std::string text = Format(format, address.c_str(), cfg.ServerPort);
    if (text.size() > kMaxConnectMessage) {
        address.resize(address.size() - std::min(address.size(), text.size() - kMaxConnectMessage));
        text = Format(format, address.c_str(), cfg.ServerPort);
    }
    return text;
}

} // namespace

TagTcpConnection::TagTcpConnection(SharedConfig& cfg, const LinkTiming& t) : config(cfg), timing(t)
{
    LinkRunning.Set();
    NetStartup();
    const TagRunCfg settings = config.Get();
    if (TimedConnect(*this, settings.ServerIp.c_str(), settings.ServerPort, timing.firstConnectTimeout) != 0) {
        ShowMessage({ConnectFailedText(settings), Texts::kConnectCaption, MsgIcon::Error});
        return;
    }
    for (int i = 0; i < timing.settleCount; ++i) {
        std::this_thread::sleep_for(timing.settlePause);
        if (WaitReadable(linkSocket) < 0)
            return;
    }
    connected = true;
    stopRequested.Clear();
    SendPoll(*this);
    ReportLinkState(true);
}

TagTcpConnection::TagTcpConnection(SharedConfig& cfg, const LinkTiming& t, NoConnect) : config(cfg), timing(t)
{
    connected = true;
    stopRequested.Clear();
}

TagTcpConnection::~TagTcpConnection()
{
    stopRequested.Set();
    LinkRunning.Clear();
    {
        std::unique_lock lock(doneMutex);
        doneCv.wait_for(lock, timing.stopWait, [this] { return workerDone.load(); });
    }
    // The worker uses this object until it returns, so it is joined even past the wait above (a
    // name lookup cannot be interrupted); it is never left running on freed memory.
    if (worker.joinable())
        worker.join();
    NetClose(linkSocket);
    linkSocket = kNoSocket;
    NetCleanup();
}

void TagTcpConnection::StartWorker()
{
    if (!connected || worker.joinable())
        return;
    // Cleared before the thread exists, so a stop that comes before the thread has run still
    // waits for it.
    workerDone = false;
    try {
        worker = std::thread(LinkWorker, this);
    } catch (const std::system_error&) {
        workerDone = true;
    }
}

int LinkWorker(TagTcpConnection* link)
{
    return IsRemoteAns(*link);
}

int IsRemoteAns(TagTcpConnection& link)
{
    link.workerDone = false;
    while (!link.stopRequested.IsSet()) {
        if (!link.connected) {
            ReportLinkState(false);
            link.size = 0;
            for (int i = 0; i < link.timing.reconnectPauses && !link.stopRequested.IsSet(); ++i)
                link.stopRequested.WaitSet(link.timing.reconnectPause);
            if (link.stopRequested.IsSet())
                break;
            const TagRunCfg cfg = link.config.Get();
            if (TimedConnect(link, cfg.ServerIp.c_str(), cfg.ServerPort, link.timing.reconnectTimeout) != 0) {
                WriteLog(Texts::kReconnectFailed);
                link.connected = false;
                continue;
            }
            WriteLog(Texts::kReconnected);
            ReportLinkState(true);
            link.connected = true;
            if (SendPoll(link) != WireOutcome::Done)
                continue;
        }

        // Blocks until bytes arrive or the session stops; a frame already held is decoded at once.
        const WakeHandle wake = link.stopRequested.Handle();
        const int timeoutMs = FrameReady(link) ? 0 : (wake != kNoWake ? -1 : kWaitSliceMs);
        const int ready = WaitReadable(link.linkSocket, wake, timeoutMs);
        if (ready < 0) {
            link.connected = false;
            WriteLog(Format("IsRemoteAns()<0, n=%d", ready));
            continue;
        }
        const int room = std::min(kMaxRead, kRecvBufSize - link.size);
        if (ready > 0 && room > 0) {
            const long len = NetRecv(link.linkSocket, link.recvBuf + link.size, size_t(room));
            if (len <= 0) {
                const int err = NetLastError();
                link.connected = false;
                WriteLog(Format("recv()<=0, len=%d, errNo=%d[0x%x]", int(len), err, unsigned(err)));
                continue;
            }
            link.size += int32_t(len);
        }

        if (!FrameReady(link))
            continue;
        ParseFrame(link);
        const int sleepSec = std::max(link.config.Get().SleepSec, 0);
        if (link.stopRequested.WaitSet(link.timing.sleepUnit * sleepSec))
            break;
        SendPoll(link);
    }
    {
        std::lock_guard lock(link.doneMutex);
        link.workerDone = true;
    }
    link.doneCv.notify_all();
    return 0;
}
