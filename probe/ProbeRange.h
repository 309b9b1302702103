#pragma once
// Threshold ranges as monitoring systems write them (the Monitoring Plugins development guidelines):
//   10      alert below 0 or above 10       10:     alert below 10
//   ~:10    alert above 10                  10:20   alert below 10 or above 20
//   @10:20  alert from 10 to 20, both ends included
// A missing start (":10") is 0, "~" is minus infinity, a missing end is infinity; the start may
// not lie above the end.

#include <string_view>

struct ProbeRange {
    double start = 0;
    bool startInfinite = false;
    double end = 0;
    bool endInfinite = false;
    bool inside = false; // '@': alert inside the range instead of outside

    bool Alerts(double value) const;
};

// False, leaving range alone, for anything else (empty text, letters, "inf", a start above the end).
bool ParseRange(std::string_view text, ProbeRange& range);
