// The conversion of a stored placement value to a number: LeadingInt on any text, checked against
// the C library's conversion clamped to 32 bits, and the "%4d" form the store writes, which must
// convert back to the number it was made from.

#include "FuzzSupport.h"

#include "settings/Config.h"
#include "settings/EventLog.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The text ends at its first NUL, as a value read into a C buffer does.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const char* c = text.c_str();

    errno = 0;
    long long wide = std::strtoll(c, nullptr, 10);
    if (wide > INT32_MAX)
        wide = INT32_MAX;
    if (wide < INT32_MIN)
        wide = INT32_MIN;
    FUZZ_CHECK(LeadingInt(c) == int32_t(wide));

    if (size >= 4) {
        int32_t n;
        std::memcpy(&n, data, sizeof n);
        const std::string stored = Format("%4d", n);
        FUZZ_CHECK(stored.size() >= 4);
        FUZZ_CHECK(LeadingInt(stored.c_str()) == n);
        // What follows the number in a value does not change it.
        FUZZ_CHECK(LeadingInt((stored + text.substr(4)).c_str()) == n ||
                   (text.size() > 4 && text[4] >= '0' && text[4] <= '9'));
    }
    return 0;
}
