#include "settings/Config.h"

#include "common/Ascii.h"
#include "common/MonitorView.h"
#include "common/Texts.h"

#include "platform/System.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>

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

// Writes text to f, gives it the attributes of original (if any) and closes it; true when all went
// to the disk.
bool WriteAndClose(std::FILE* f, const std::string& text, const char* original)
{
    bool ok = WriteAll(f, text);
    ok = std::fflush(f) == 0 && ok;
    // After the bytes, so a file that refuses them (a full disk) is never touched otherwise.
    ok = ok && (!original || KeepAttributes(original, f));
    // On the disk before the rename makes it the file, so a crash leaves the old or the new one.
    ok = ok && FlushToDisk(f);
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

} // namespace

int LoadConfig(TagRunCfg& config)
{
    return LoadConfigFrom(kConfigFileName, config);
}

int LoadConfigFrom(const char* path, TagRunCfg& config)
{
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        ShowMessage({path, "Open Config Error", MsgIcon::Error});
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

    // The new file is written beside the old one and renamed over it, so a failure half-way leaves
    // the old file whole. What a write in place kept is kept too: a file that cannot be opened for
    // writing is not replaced, a symbolic link stays a link and its target is written, and the
    // file keeps its permissions.
    std::string target;
    const int existing = ResolveWriteTarget(kConfigFileName, target) ? ProbeWritable(target.c_str()) : -1;
    bool ok = existing >= 0;
    if (ok) {
        const std::string tmpName = target + ".tmp";
        if (std::FILE* f = std::fopen(tmpName.c_str(), "wb")) {
            ok = WriteAndClose(f, text, existing == 1 ? target.c_str() : nullptr);
            ok = ok && RenameOver(tmpName.c_str(), target.c_str());
            if (!ok)
                std::remove(tmpName.c_str());
        } else if (existing == 1 && errno == EACCES &&
                   !std::filesystem::exists(std::filesystem::symlink_status(tmpName))) {
            // The folder takes no new file, but the file itself may be written: it is written in
            // place as it was before the replace, without the protection against a crash half-way.
            std::FILE* inPlace = std::fopen(target.c_str(), "wb");
            ok = inPlace && WriteAndClose(inPlace, text, nullptr);
        } else {
            ok = false;
        }
    }
    if (!ok) {
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
