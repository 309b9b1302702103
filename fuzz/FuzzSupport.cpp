#include "FuzzSupport.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace fuzz {

namespace {

std::string scratch;

void RemoveScratch()
{
    std::error_code ec;
    fs::remove_all(scratch, ec);
}

} // namespace

void EnterScratchDir()
{
    if (!scratch.empty())
        return;
    // Files in memory where there is such a place: the harnesses write on every input.
    std::error_code ec;
    const fs::path shm("/dev/shm");
    const fs::path base = fs::is_directory(shm, ec) ? shm : fs::temp_directory_path(ec);
    std::random_device seed;
    std::mt19937_64 draw(seed());
    for (int attempt = 0; attempt < 100 && scratch.empty(); ++attempt) {
        char name[40];
        std::snprintf(name, sizeof name, "quorvane-fuzz-%016llx", static_cast<unsigned long long>(draw()));
        if (fs::create_directory(base / name, ec))
            scratch = (base / name).string();
    }
    fs::current_path(scratch, ec);
    if (scratch.empty() || ec)
        Fail("cannot enter a scratch directory", __FILE__, __LINE__);
    std::atexit(RemoveScratch);
}

} // namespace fuzz
