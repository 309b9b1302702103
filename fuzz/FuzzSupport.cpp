#include "FuzzSupport.h"

#include <filesystem>
#include <system_error>
#include <unistd.h>

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
    std::error_code ec;
    const fs::path base = fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0
                              ? fs::path("/dev/shm")
                              : fs::temp_directory_path();
    std::string tmpl = (base / "quorvane-fuzz-XXXXXX").string();
    if (!::mkdtemp(tmpl.data()) || ::chdir(tmpl.c_str()) != 0)
        Fail("cannot enter a scratch directory", __FILE__, __LINE__);
    scratch = tmpl;
    std::atexit(RemoveScratch);
}

} // namespace fuzz
