#include "settings/EventLog.h"

#include "platform/System.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {
std::mutex logLock;
LogSink logSink;
} // namespace

void SetLogSink(LogSink sink)
{
    std::lock_guard lock(logLock);
    logSink = std::move(sink);
}

std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        out.resize(size_t(n) + 1);
        std::vsnprintf(out.data(), out.size(), format, args);
        out.resize(size_t(n));
    }
    va_end(args);
    return out;
}

std::string LogStamp(const std::tm& local, int millisecond)
{
    return Format("%d-%02d-%02d %02d:%02d:%02d.%03d [", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                  local.tm_hour, local.tm_min, local.tm_sec, millisecond);
}

void WriteLog(const char* text)
{
    {
        std::lock_guard lock(logLock);
        if (logSink) {
            logSink(text);
            return;
        }
    }
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const int ms = int(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    const std::tm local = LocalTime(seconds);
    // One write call per line, in append mode, under one lock: concurrent lines never interleave,
    // and another program appending to the same file cannot split a line either.
    std::string line = LogStamp(local, ms);
    line += text;
    line += "]\r\n";

    std::lock_guard lock(logLock);
    std::FILE* f = std::fopen(kLogFileName, "ab");
    if (!f)
        return;
    std::setvbuf(f, nullptr, _IOFBF, line.size() + 1);
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
}
