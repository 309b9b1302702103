#pragma once
// Monitor.log: one time-stamped line per link event, appended and flushed per call.

#include <ctime>
#include <functional>
#include <string>

inline constexpr char kLogFileName[] = "Monitor.log";

// Appends "YYYY-MM-DD hh:mm:ss.mmm [text]" and CR LF to Monitor.log in the working directory.
// Silent when the file cannot be written. Safe to call from several threads: lines never mix.
void WriteLog(const char* text);
inline void WriteLog(const std::string& text)
{
    WriteLog(text.c_str());
}

// Where WriteLog's messages go instead of Monitor.log: a program without a log file (the probe) or a
// harness that checks every message installs one; an empty function restores the file. The sink gets
// the message alone, without the time stamp, and is called under the log's lock, so never twice at
// once.
using LogSink = std::function<void(const char* message)>;
void SetLogSink(LogSink sink);

// The time stamp prefix, "%d-%02d-%02d %02d:%02d:%02d.%03d [".
std::string LogStamp(const std::tm& local, int millisecond);

// printf-style formatting into a std::string, for log lines and messages.
std::string Format(const char* format, ...)
#if defined(__MINGW32__)
    // mingw's libstdc++ uses its own C99 printf, not the system's, so %zu and %lld are fine.
    __attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
