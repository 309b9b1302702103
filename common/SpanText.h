#pragma once
// A span of time as the tools show it: "45 s", "4 min 12 s", "3 h 7 min", "2 d 5 h".

#include <cstdint>
#include <string>

std::string SpanText(int64_t seconds);
