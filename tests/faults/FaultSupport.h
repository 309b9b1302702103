#pragma once
// Helpers of the fault tests: short link timing, the process's resident memory and descriptors,
// the link's sockets as the kernel sees them, and the board compared with the simulator's model.

#include "common/MonitorView.h"
#include "link/Link.h"

#include <atomic>

#include <string>
#include <vector>

class SimModel;

// A view that only counts, so a long run does not grow the test's own memory.
class CountingView : public MonitorView {
public:
    CountingView();
    ~CountingView() override;
    void ShowLinkState(bool connected) override;
    void SetSummaryText(const std::string& gbk) override;
    bool LayoutGrid(TagMonitor& board, WakeFlag& stop) override;

    std::atomic<int> linkUps{0};
    std::atomic<int> linkDowns{0};
    std::atomic<int> layouts{0};
    std::atomic<int> summaries{0};

private:
    MonitorView* previous_;
};

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUORVANE_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUORVANE_SANITIZED 1
#endif

// Sanitizers keep freed memory in quarantine, so resident memory says nothing about leaks there;
// LeakSanitizer answers that question instead.
inline constexpr bool kMemoryIsMeaningful =
#ifdef QUORVANE_SANITIZED
    false;
#else
    true;
#endif

// ShortTiming with the differences the simulator process needs (see the .cpp); one poll delay
// second is 20 ms.
LinkTiming FaultTiming();

// Resident set size of this process in KiB, from /proc/self/statm.
long ResidentKb();
size_t OpenDescriptors();
// This process's TCP sockets whose peer is 127.0.0.1:port.
std::vector<int> SocketsTo(int port);
int IntOption(int fd, int level, int name);

// Empty when CurBoard holds exactly the model's lines and cells; otherwise what differs first.
std::string BoardDiff(const SimModel& model);

// The messages of Monitor.log that match the ECMAScript pattern, and the count of those equal to a text.
std::vector<std::string> LogMatching(const std::string& pattern);
size_t LogCount(const std::string& message);
