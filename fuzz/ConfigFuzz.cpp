// LoadConfig over any file: the input's bytes are Quorvane.cfg. The record must come out within
// its invariants, and whatever was read must survive SaveConfig and a second LoadConfig unchanged.

#include "FuzzSupport.h"

#include "settings/Config.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

bool CleanText(const std::string& s)
{
    // Blanks, tabs and line feeds are removed by the reader, and a piece of a line holds 511 bytes.
    return s.size() <= 511 && s.find_first_of(std::string(" \t\n\0", 4)) == std::string::npos;
}

void WriteConfigFile(const uint8_t* data, size_t size)
{
    std::FILE* f = std::fopen(kConfigFileName, "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(std::fwrite(data, 1, size, f) == size);
    FUZZ_CHECK(std::fclose(f) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::EnterScratchDir();
    WriteConfigFile(data, size);

    TagRunCfg config;
    const TagRunCfg defaults;
    FUZZ_CHECK(LoadConfig(config) == 0);
    FUZZ_CHECK(config.IsEnglish == 0 || config.IsEnglish == 1);
    FUZZ_CHECK(config.ColGroupNum >= 1 && config.ColGroupNum <= 10);
    for (const std::string* text : {&config.ServerIp, &config.Title1, &config.Title2, &config.Title3})
        FUZZ_CHECK(*text == defaults.ServerIp || *text == defaults.Title1 || *text == defaults.Title2 ||
                   *text == defaults.Title3 || CleanText(*text));

    // Longer texts would be split by the reader's 511-byte pieces once written with their key.
    const size_t kRoundTripText = 400;
    if (config.ServerIp.size() > kRoundTripText || config.Title1.size() > kRoundTripText ||
        config.Title2.size() > kRoundTripText || config.Title3.size() > kRoundTripText)
        return 0;
    FUZZ_CHECK(SaveConfig(config) == 0);
    TagRunCfg again;
    again.ServerPort = config.ServerPort ^ 1; // every field must come from the file
    again.SleepSec = config.SleepSec ^ 1;
    again.IsEnglish = uint8_t(1 - config.IsEnglish);
    again.ColGroupNum = config.ColGroupNum % 10 + 1;
    again.ServerIp = config.ServerIp + "x";
    FUZZ_CHECK(LoadConfig(again) == 0);
    FUZZ_CHECK(again == config);
    return 0;
}
