// Replays a harness's seed corpus as an ordinary test, so the invariants are checked by every build,
// not only by the fuzzing one. A broken invariant aborts and names the input.

#include "FuzzSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> CorpusFiles()
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(FUZZ_CORPUS_DIR)) {
        if (entry.is_regular_file())
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(FUZZ_SUITE, EverySeedKeepsTheInvariants)
{
    const std::vector<fs::path> files = CorpusFiles();
    ASSERT_GE(files.size(), 5u) << FUZZ_CORPUS_DIR;
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        fuzz::CurrentInput() = file.string();
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
    }
    fuzz::CurrentInput().clear();
}

// The empty input and single bytes are where length arithmetic goes wrong first.
TEST(FUZZ_SUITE, TinyInputs)
{
    EXPECT_EQ(LLVMFuzzerTestOneInput(nullptr, 0), 0);
    for (int b = 0; b < 256; ++b) {
        const uint8_t one[1] = {uint8_t(b)};
        EXPECT_EQ(LLVMFuzzerTestOneInput(one, 1), 0);
    }
}

} // namespace
