#include "common/HistorySink.h"

std::atomic<HistorySink*> CurHistory{nullptr};
