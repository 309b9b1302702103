#pragma once
// The link to the CTI server: one TCP connection, its receive buffer, and the worker thread that
// polls, decodes answers into the board and reconnects by itself.

#include "platform/WakeFlag.h"
#include "settings/Config.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

using namespace std::chrono_literals;

inline constexpr int kRecvBufSize = 30000;
inline constexpr int kMaxRead = 2048;

#ifdef _WIN32
using SocketHandle = uintptr_t;
inline constexpr SocketHandle kNoSocket = ~SocketHandle(0);
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
#endif

// The link's timing. The program always uses these values; tests shorten them.
struct LinkTiming {
    std::chrono::milliseconds firstConnectTimeout = 10s;
    std::chrono::milliseconds reconnectTimeout = 30s;
    std::chrono::milliseconds connectStep = 80ms;
    std::chrono::milliseconds settlePause = 200ms;
    int settleCount = 4;
    std::chrono::milliseconds reconnectPause = 1s;
    int reconnectPauses = 8;
    std::chrono::milliseconds stopWait = 12000ms;
    std::chrono::milliseconds stopWaitStep = 100ms;
    // One poll delay second; SleepSec is multiplied by it.
    std::chrono::milliseconds sleepUnit = 1000ms;
};

struct TagTcpConnection {
    // Connects to config's server and, once up, sends the first poll. Returns with connected set
    // when the link is up; on a failed connect it has shown the "TCP/IP" box.
    explicit TagTcpConnection(SharedConfig& config, const LinkTiming& timing = LinkTiming());
    // Stops the worker and waits for it to end (see the .cpp for the bound), then closes.
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

    LinkTiming timing;
    std::thread worker;
};

// Process-wide: connect attempts may go on while set (the constructor sets it, the destructor
// clears it, and pauses between connect steps wake when it is cleared).
extern WakeFlag LinkRunning;

// The link of the current session, or null. Written by StartMonitor and StopMonitor only.
extern TagTcpConnection* CurLink;
