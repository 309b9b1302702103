#pragma once
// The settings record, its text file Quorvane.cfg and the one shared instance CurConfig.

#include <cstdint>
#include <mutex>
#include <string>

inline constexpr char kConfigFileName[] = "Quorvane.cfg";
// The default server lies on the plant's private network; every test and script writes a
// Quorvane.cfg that points at loopback before it starts anything.
inline constexpr char kDefaultServerIp[] = "192.168.10.20";

// The line groups a grid row may hold: the file's COL_GROUP_NUM is taken only in this range, the
// Configure dialog brings what is typed into it, and the grid divides by the number.
inline constexpr int kMinColGroups = 1;
inline constexpr int kMaxColGroups = 10;

struct TagRunCfg {
    std::string ServerIp = kDefaultServerIp;
    int32_t ServerPort = 2004;
    int32_t SleepSec = 5;
    std::string Title1;
    std::string Title2;
    std::string Title3;
    uint8_t IsEnglish = 0;
    int32_t ColGroupNum = 1;

    TagRunCfg();
    bool operator==(const TagRunCfg&) const = default;
};

// Reads Quorvane.cfg from the working directory over config. Keys missing from the file keep the
// record's values. Returns 0, or -1 after the "Open Config Error" box when it cannot be opened.
int LoadConfig(TagRunCfg& config);
// The same from another file, for programs that are told where their settings are; the box names
// that file.
int LoadConfigFrom(const char* path, TagRunCfg& config);

// Replaces Quorvane.cfg by the record's eight lines. The new file is written beside the old one and
// renamed over it, so a failure half-way leaves the old file whole; a file that cannot be opened for
// writing is left alone, a symbolic link stays a link, and the permissions stay. Returns 0, or -1
// after the "Save Config Error" box.
int SaveConfig(const TagRunCfg& config);

// Leading-integer conversion: blanks skipped, an optional sign, the digits that follow; no digits
// give 0. Digits past the 32-bit range saturate at its ends instead of wrapping.
int32_t LeadingInt(const char* text);

// The record shared by the GUI thread, which writes it, and the receive worker, which reads it.
// Readers take a copy, so they see the old or the new address, never a mix.
class SharedConfig {
public:
    TagRunCfg Get() const
    {
        std::lock_guard lock(mutex_);
        return cfg_;
    }
    void Set(const TagRunCfg& cfg)
    {
        std::lock_guard lock(mutex_);
        cfg_ = cfg;
    }

private:
    mutable std::mutex mutex_;
    TagRunCfg cfg_;
};

extern SharedConfig CurConfig;

// LoadConfig and SaveConfig on the shared record (GUI thread only: it is the only writer).
int LoadConfig(SharedConfig& config);
int SaveConfig(const SharedConfig& config);

// Builds CurConfig at start-up: the defaults, then a first read of the file.
void CreateCurConfig();
