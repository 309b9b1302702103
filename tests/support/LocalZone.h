#pragma once
// The local time zone as TZ sets it, for the object's life: texts in local time are then known.

#include <cstdlib>
#include <ctime>
#include <string>

class LocalZone {
public:
    // A POSIX zone, e.g. "CST-8" for China (UTC+8, no summer time); the Windows C library reads a
    // fixed offset such as "XXX-1" too.
    explicit LocalZone(const char* zone)
    {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        previous_ = old ? old : "";
        Set(zone);
    }
    ~LocalZone() { Set(had_ ? previous_.c_str() : nullptr); }
    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;

private:
    static void Set(const char* zone)
    {
#ifdef _WIN32
        _putenv_s("TZ", zone ? zone : "");
        _tzset();
#else
        if (zone)
            setenv("TZ", zone, 1);
        else
            unsetenv("TZ");
        tzset();
#endif
    }
    bool had_ = false;
    std::string previous_;
};
