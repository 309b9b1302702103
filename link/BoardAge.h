#pragma once
// How old the board's data is, as a view of the board says it once it matters: a board that keeps
// showing its last answer while the link is down, or while the answer is overdue, must not look like
// a quiet one.

#include "link/AnswerWatch.h"

#include <cstdint>
#include <string>

// "" while the data is fresh (the link up, no answer overdue); otherwise one English line, e.g.
// "Link down: data 2 min 5 s old" or "Answer overdue (waited 45 s): data 46 s old". nowMs is on the
// clock of the wait (SteadyMs()).
std::string BoardAgeText(bool connected, const AnswerWait& wait, int64_t nowMs);
