// FrameReady + ParseFrame on a full answer frame (2048 lines, the buffer nearly full), beside
// memcpy of the same bytes. No view is installed, so no GUI call is made; operator new is counted
// to show that decoding allocates nothing once the cells have their texts.

#include "board/Board.h"
#include "link/Protocol.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <string>

namespace {
std::atomic<size_t> allocations{0};
}

void* operator new(size_t n)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
// GCC takes the free() in a replaced operator delete for a mismatch with new.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

struct FullFrame {
    std::string bytes;
    int records = 0;
};

// Records spread over the 2048 lines and all eight columns, texts of 5 to 20 bytes, colours cycling,
// one summary record; as many as fit the 30000-byte buffer.
FullFrame BuildFrame()
{
    FullFrame f;
    std::string body(2, '\0');
    body[1] = char(0x08); // 2048 lines
    const std::string summary = "Lines 2048, busy 731, idle 1317";
    body += "\xFF\xFF";
    body += char(0);
    body += char(0);
    body += char(15);
    body += summary;
    body += '\0';
    ++f.records;
    for (unsigned i = 0;; ++i) {
        const unsigned line = (i * 5u / 4u) % 2048u; // ascending, as a server walks its lines
        const unsigned textLen = 5 + (i * 13u) % 16u;
        if (4 + body.size() + 6 + textLen > size_t(kRecvBufSize))
            break;
        body += char(line & 0xFF);
        body += char(line >> 8);
        body += char(i % 8);
        body += char(i % 16);
        body += char((i / 16) % 16);
        for (unsigned k = 0; k < textLen; ++k)
            body += char('A' + (i + k) % 26);
        body += '\0';
        ++f.records;
    }
    const uint32_t packLen = uint32_t(body.size());
    for (int i = 0; i < 4; ++i)
        f.bytes += char((packLen >> (8 * i)) & 0xFF);
    f.bytes += body;
    return f;
}

const FullFrame& Frame()
{
    static const FullFrame frame = BuildFrame();
    return frame;
}

// CPU time of this thread: the machine is shared, so wall time would count other work.
double ThreadNs()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

double MemcpyNsPerFrame(const std::string& bytes, uint8_t* dst)
{
    constexpr int kCopies = 20000;
    const double start = ThreadNs();
    for (int i = 0; i < kCopies; ++i) {
        std::memcpy(dst, bytes.data(), bytes.size());
        benchmark::ClobberMemory();
    }
    return (ThreadNs() - start) / kCopies;
}

void BM_DecodeFullFrame(benchmark::State& state)
{
    const FullFrame& frame = Frame();
    SharedConfig config;
    auto link = std::make_unique<TagTcpConnection>(config, LinkTiming(), NoConnect{});
    std::memcpy(link->recvBuf, frame.bytes.data(), frame.bytes.size());
    const int32_t size = int32_t(frame.bytes.size());

    // One decode first: it builds the board and gives every cell its text storage.
    link->size = size;
    if (!FrameReady(*link) || ParseFrame(*link) != WireOutcome::Done) {
        state.SkipWithError("frame rejected");
        return;
    }
    // A well-formed frame that fills the bytes held leaves them in place when it is consumed.
    const size_t allocsBefore = allocations.load();
    const double start = ThreadNs();
    for (auto _ : state) {
        link->size = size;
        bool ok = FrameReady(*link) && ParseFrame(*link) == WireOutcome::Done;
        benchmark::DoNotOptimize(ok);
    }
    const double decodeNs = (ThreadNs() - start) / double(state.iterations());
    const size_t allocs = allocations.load() - allocsBefore;

    auto copy = std::make_unique<uint8_t[]>(frame.bytes.size());
    const double copyNs = MemcpyNsPerFrame(frame.bytes, copy.get());

    state.SetBytesProcessed(int64_t(state.iterations()) * size);
    state.counters["records"] = frame.records;
    state.counters["records/s"] =
        benchmark::Counter(double(frame.records), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["ns/record"] = decodeNs / frame.records;
    state.counters["memcpy_ns"] = copyNs;
    state.counters["x_memcpy"] = decodeNs / copyNs;
    state.counters["allocs/frame"] = double(allocs) / double(state.iterations());
    DestroyBoard();
}
BENCHMARK(BM_DecodeFullFrame)->Unit(benchmark::kMicrosecond);

void BM_MemcpyFullFrame(benchmark::State& state)
{
    const FullFrame& frame = Frame();
    auto dst = std::make_unique<uint8_t[]>(frame.bytes.size());
    for (auto _ : state) {
        std::memcpy(dst.get(), frame.bytes.data(), frame.bytes.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frame.bytes.size()));
}
BENCHMARK(BM_MemcpyFullFrame)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
