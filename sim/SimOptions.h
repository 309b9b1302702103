#pragma once
// Command-line options of quorvane-sim.

#include "sim/SimFrame.h"
#include "sim/SimModel.h"

#include <cstdint>
#include <string>

struct SimOptions {
    int lines = 64;
    SimLanguage language = SimLanguage::En;
    LengthMode length = LengthMode::Text;
    double changeRate = 0.1;
    uint64_t seed = 1;
    SimHostile hostile = SimHostile::Off;
    // Fault injection; -1 is off. Counted in answers per connection.
    int closeAfter = -1;
    int garbageAfter = -1;
    int oversizeAfter = -1;
    int stallAfter = -1;
    int delayMs = 0;
    int chunk = 0; // 0: each answer in one write
    int port = 2004;
    std::string bind = "127.0.0.1";
};

enum class ParseResult { Run, Help, Error };

// Fills options from argv (argv[0] is the program name). On Error, error holds a one-line reason.
ParseResult ParseSimArgs(int argc, const char* const* argv, SimOptions& options, std::string& error);

// The --help text.
const char* SimUsage();

// Pause between the pieces of an answer written with --chunk, so a reader really sees them apart.
inline constexpr int kChunkGapMs = 2;
