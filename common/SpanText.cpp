#include "common/SpanText.h"

std::string SpanText(int64_t seconds)
{
    if (seconds < 0)
        seconds = 0;
    const auto two = [](int64_t big, const char* bigUnit, int64_t small, const char* smallUnit) {
        std::string text = std::to_string(big) + " " + bigUnit;
        if (small > 0)
            text += " " + std::to_string(small) + " " + smallUnit;
        return text;
    };
    if (seconds < 60)
        return std::to_string(seconds) + " s";
    if (seconds < 3600)
        return two(seconds / 60, "min", seconds % 60, "s");
    if (seconds < 86400)
        return two(seconds / 3600, "h", seconds % 3600 / 60, "min");
    return two(seconds / 86400, "d", seconds % 86400 / 3600, "h");
}
