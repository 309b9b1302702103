#include "settings/Config.h"

#include "common/Ascii.h"
#include "common/MonitorView.h"
#include "common/Texts.h"

#include "platform/System.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

SharedConfig CurConfig;

TagRunCfg::TagRunCfg() : Title1(Texts::kTitle1Zh), Title2(Texts::kTitle2Zh), Title3(Texts::kTitle3Zh) {}

int32_t LeadingInt(const char* text)
{
    const char* p = text;
    while (AsciiIsSpace(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    int64_t value = 0;
    while (AsciiIsDigit(*p)) {
        value = value * 10 + (*p++ - '0');
        if (value > int64_t(INT32_MAX) + 1)
            value = int64_t(INT32_MAX) + 1; // keep reading the digits, but stop growing
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        value = INT32_MAX;
    return int32_t(value);
}

namespace {

void ApplyLine(TagRunCfg& config, char* line)
{
    // Blanks and tabs may stand anywhere: drop them all.
    char* out = line;
    for (char* in = line; *in; ++in) {
        if (*in != ' ' && *in != '\t')
            *out++ = *in;
    }
    *out = '\0';

    // Only the first '/' is looked at: it starts a comment only when a second one follows it.
    if (char* slash = std::strchr(line, '/'); slash && slash[1] == '/')
        *slash = '\0';
    if (char* lf = std::strchr(line, '\n'))
        *lf = '\0';
    // The file is read the same on every platform; a CR before the line feed is not content.
    if (size_t n = std::strlen(line); n > 0 && line[n - 1] == '\r')
        line[n - 1] = '\0';

    char* eq = std::strchr(line, '=');
    if (!eq)
        return;
    *eq = '\0';
    char* key = line;
    const char* value = eq + 1;
    if (AsciiIsDigit(*key))
        return;
    for (char* k = key; *k; ++k)
        *k = AsciiToUpper(*k);

    if (std::strcmp(key, "LANGUAGE_TYPE") == 0) {
        std::string word(value);
        for (char& c : word)
            c = AsciiToUpper(c);
        config.IsEnglish = (word == "ENGLISH" || word == "EN") ? 1 : 0;
    } else if (std::strcmp(key, "TITLE1") == 0) {
        config.Title1 = value;
    } else if (std::strcmp(key, "TITLE2") == 0) {
        config.Title2 = value;
    } else if (std::strcmp(key, "TITLE3") == 0) {
        config.Title3 = value;
    } else if (std::strcmp(key, "COL_GROUP_NUM") == 0) {
        int32_t n = LeadingInt(value);
        if (n >= kMinColGroups && n <= kMaxColGroups)
            config.ColGroupNum = n;
    } else if (std::strcmp(key, "SERVER_IP") == 0) {
        config.ServerIp = value;
    } else if (std::strcmp(key, "SERVER_PORT") == 0) {
        config.ServerPort = LeadingInt(value);
    } else if (std::strcmp(key, "SLEEP_SEC") == 0) {
        config.SleepSec = LeadingInt(value);
    }
}

bool WriteAll(std::FILE* f, const std::string& text)
{
    return std::fwrite(text.data(), 1, text.size(), f) == text.size();
}

} // namespace

int LoadConfig(TagRunCfg& config)
{
    std::FILE* f = std::fopen(kConfigFileName, "rb");
    if (!f) {
        ShowMessage({kConfigFileName, "Open Config Error", MsgIcon::Error});
        return -1;
    }
    // A physical line longer than 511 characters arrives in pieces, each taken as a line. NUL bytes
    // in a damaged file simply end the piece early.
    char buf[512];
    while (std::fgets(buf, sizeof buf, f))
        ApplyLine(config, buf);
    std::fclose(f);
    return 0;
}

int SaveConfig(const TagRunCfg& config)
{
    std::string text;
    auto line = [&text](const std::string& s) { text += s + "\r\n"; };
    line("SERVER_IP = " + config.ServerIp);
    line("SERVER_PORT = " + std::to_string(config.ServerPort));
    line("SLEEP_SEC = " + std::to_string(config.SleepSec));
    line("COL_GROUP_NUM = " + std::to_string(config.ColGroupNum));
    line(config.IsEnglish == 1 ? "LANGUAGE_TYPE = English" : "LANGUAGE_TYPE = Chinese");
    line("TITLE1 = " + config.Title1);
    line("TITLE2 = " + config.Title2);
    line("TITLE3 = " + config.Title3);

    const std::string tmpName = std::string(kConfigFileName) + ".tmp";
    std::FILE* f = std::fopen(tmpName.c_str(), "wb");
    bool ok = f != nullptr;
    if (ok) {
        ok = WriteAll(f, text);
        ok = std::fflush(f) == 0 && ok;
        // On the disk before the rename makes it the file, so a crash leaves the old or the new one.
        ok = ok && FlushToDisk(f);
        ok = std::fclose(f) == 0 && ok;
    }
    if (ok)
        ok = RenameOver(tmpName.c_str(), kConfigFileName);
    if (!ok) {
        std::remove(tmpName.c_str());
        ShowMessage({kConfigFileName, "Save Config Error", MsgIcon::Error});
        return -1;
    }
    return 0;
}

int LoadConfig(SharedConfig& config)
{
    TagRunCfg copy = config.Get();
    int result = LoadConfig(copy);
    if (result == 0)
        config.Set(copy);
    return result;
}

int SaveConfig(const SharedConfig& config)
{
    return SaveConfig(config.Get());
}

void CreateCurConfig()
{
    CurConfig.Set(TagRunCfg());
    LoadConfig(CurConfig);
}
