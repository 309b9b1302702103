#pragma once
// The link to the CTI server: one TCP connection, its receive buffer, and the worker thread that
// polls, decodes answers into the board and reconnects by itself.

#include "platform/Net.h"
#include "platform/WakeFlag.h"
#include "settings/Config.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

inline constexpr int kRecvBufSize = 30000;
inline constexpr int kMaxRead = 2048;

// The link's timing. The program always uses these values; tests shorten them.
struct LinkTiming {
    std::chrono::milliseconds firstConnectTimeout = std::chrono::seconds(10);
    std::chrono::milliseconds reconnectTimeout = std::chrono::seconds(30);
    std::chrono::milliseconds connectStep = std::chrono::milliseconds(80);
    std::chrono::milliseconds settlePause = std::chrono::milliseconds(200);
    int settleCount = 4;
    std::chrono::milliseconds reconnectPause = std::chrono::seconds(1);
    int reconnectPauses = 8;
    // The destructor's wait for the worker before it joins it (the join itself has no bound).
    std::chrono::milliseconds stopWait = std::chrono::milliseconds(12000);
    // One poll delay second; SleepSec is multiplied by it.
    std::chrono::milliseconds sleepUnit = std::chrono::milliseconds(1000);
    // A poll whose answer has not come whole after this long is shown as overdue. Nothing else
    // follows from it: a slow server may be slow, and the link stays as it is.
    std::chrono::milliseconds answerOverdue = std::chrono::seconds(30);

    bool operator==(const LinkTiming&) const = default;
};

// Selects the constructor that neither starts the socket library nor connects: a link at rest, with
// the flags of a running one, whose buffer tests and benchmarks fill by hand.
struct NoConnect {};

struct TagTcpConnection {
    // Connects to cfg's server and, once up, sends the first poll. Returns with connected set
    // when the link is up; on a failed connect it has shown the "TCP/IP" box.
    explicit TagTcpConnection(SharedConfig& cfg, const LinkTiming& t = LinkTiming());
    TagTcpConnection(SharedConfig& cfg, const LinkTiming& t, NoConnect);
    // Stops the worker, waits for it to end and joins it, then closes the socket.
    ~TagTcpConnection();
    TagTcpConnection(const TagTcpConnection&) = delete;
    TagTcpConnection& operator=(const TagTcpConnection&) = delete;

    // Starts the receive worker. Only when connected, at most once.
    void StartWorker();

    SocketHandle linkSocket = kNoSocket;
    uint8_t recvBuf[kRecvBufSize];
    int32_t size = 0;
    int32_t packLen = 0;
    SharedConfig& config;
    std::atomic<bool> connected{false};
    WakeFlag stopRequested{true};
    std::atomic<bool> workerDone{true};

    // When the poll now waiting for its answer went out and when the last complete answer was
    // applied, in SteadyMs() (0: none yet), and whether the wait for this answer has been reported
    // overdue. Written by the thread that polls and decodes, read by the GUI's refresh tick.
    std::atomic<int64_t> pollSentAt{0};
    std::atomic<int64_t> lastAnswerAt{0};
    std::atomic<bool> overdueReported{false};

    LinkTiming timing;
    std::thread worker;
    // The worker announces workerDone under doneMutex, so the destructor's wait ends at once.
    std::mutex doneMutex;
    std::condition_variable doneCv;
};

// The monotonic clock of the link's bookkeeping, in milliseconds.
int64_t SteadyMs();

// The receive worker's loop; returns 0 once stopRequested is set.
int IsRemoteAns(TagTcpConnection& link);
// The worker thread's procedure: IsRemoteAns on the link it was started for.
int LinkWorker(TagTcpConnection* link);

// Process-wide: connect attempts may go on while set (the constructor sets it, the destructor
// clears it, and pauses between connect steps wake when it is cleared).
extern WakeFlag LinkRunning;

// The link of the current session, or null. Written by StartMonitor and StopMonitor only.
extern TagTcpConnection* CurLink;
