#pragma once
// A GUI test whose premise holds on Linux only says so, with the reason, where it is skipped.

#include <gtest/gtest.h>

#ifdef _WIN32
#define QUORVANE_LINUX_ONLY(reason) GTEST_SKIP() << "Linux only: " << (reason)
#else
#define QUORVANE_LINUX_ONLY(reason) static_cast<void>(0)
#endif
