#include "settings/EventLog.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

namespace {

TEST(EventLogTest, StampPadsEveryField)
{
    std::tm t{};
    t.tm_year = 2027 - 1900;
    t.tm_mon = 0;
    t.tm_mday = 5;
    t.tm_hour = 7;
    t.tm_min = 3;
    t.tm_sec = 9;
    EXPECT_EQ(LogStamp(t, 1), "2027-01-05 07:03:09.001 [");
}

TEST(EventLogTest, AppendsWholeLinesAndCreatesTheFile)
{
    ScratchDir dir;
    WriteFile(kLogFileName, "old line\r\n");
    WriteLog("recv()<=0, len=0, errNo=0[0x0]");
    WriteLog("");
    std::string log = ReadFile(kLogFileName);
    std::regex re("old line\r\n"
                  "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\[recv\\(\\)<=0, len=0, errNo=0\\[0x0\\]\\]\r\n"
                  "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\[\\]\r\n");
    EXPECT_TRUE(std::regex_match(log, re)) << log;
}

TEST(EventLogTest, GbkBytesPassUnchanged)
{
    ScratchDir dir;
    const std::string text = "\xD6\xD8\xD0\xC2\xC1\xAC\xBD\xD3\xB2\xBB\xC9\xCF.";
    WriteLog(text);
    std::string log = ReadFile(kLogFileName);
    EXPECT_NE(log.find("[" + text + "]\r\n"), std::string::npos);
}

// A log that cannot be written loses the line: nothing else is written anywhere, no box is shown,
// and the caller carries on with its next statement.
TEST(EventLogTest, UnwritableLogLosesTheLineSilently)
{
    namespace fs = std::filesystem;
    ScratchDir dir;
    MessageRecorder boxes;
    auto filesHere = [&dir] {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
            names.push_back(entry.path().string());
        std::sort(names.begin(), names.end());
        return names;
    };

    // A folder where the file should be.
    ASSERT_TRUE(fs::create_directory(kLogFileName));
    const std::vector<std::string> before = filesHere();
    bool wentOn = false;
    WriteLog("lost in the folder");
    wentOn = true;
    EXPECT_TRUE(wentOn);
    EXPECT_TRUE(fs::is_directory(kLogFileName));
    EXPECT_EQ(filesHere(), before);
    fs::remove(kLogFileName);

    // A read-only file (on Windows: the read-only attribute). Root writes regardless of the bits, so
    // the line is written as nobody there; the folder is open to all, so only the file refuses.
    const std::string old = "2027-01-05 07:03:09.001 [old line]\r\n";
    WriteFile(kLogFileName, old);
    fs::permissions(dir.path(), fs::perms::all);
    fs::permissions(kLogFileName, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::vector<std::string> withFile = filesHere();
    wentOn = false;
    {
        Unprivileged nobody;
        if (!nobody.active())
            GTEST_SKIP() << nobody.why();
        std::string why;
        if (!WritesRefused(kLogFileName, why)) {
            fs::permissions(kLogFileName, fs::perms::owner_write, fs::perm_options::add);
            GTEST_SKIP() << why;
        }
        WriteLog("lost in the read-only file");
        wentOn = true;
    }
    EXPECT_TRUE(wentOn);
    EXPECT_EQ(ReadFile(kLogFileName), old);
    EXPECT_EQ(filesHere(), withFile);
    EXPECT_EQ(fs::status(kLogFileName).permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_TRUE(boxes.messages().empty());
}

TEST(EventLogTest, SinkTakesTheMessagesInsteadOfTheFile)
{
    ScratchDir dir;
    std::vector<std::string> got;
    SetLogSink([&got](const char* message) { got.emplace_back(message); });
    WriteLog("packLen Err, packLen=1, size=5");
    WriteLog("");
    SetLogSink(nullptr);
    EXPECT_EQ(got, (std::vector<std::string>{"packLen Err, packLen=1, size=5", ""}));
    EXPECT_FALSE(std::filesystem::exists(kLogFileName));
    WriteLog("back to the file");
    EXPECT_NE(ReadFile(kLogFileName).find("[back to the file]\r\n"), std::string::npos);
}

TEST(EventLogTest, TwoWritersNeverMixLines)
{
    ScratchDir dir;
    constexpr int kLines = 2000;
    auto writer = [](char c) {
        const std::string text(300, c);
        for (int i = 0; i < kLines; ++i)
            WriteLog(text);
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();
    std::istringstream in(ReadFile(kLogFileName));
    std::string line;
    int count = 0;
    const std::regex whole("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\[(a{300}|b{300})\\]\r");
    while (std::getline(in, line)) {
        ASSERT_TRUE(std::regex_match(line, whole)) << "line " << count;
        ++count;
    }
    EXPECT_EQ(count, 2 * kLines);
}

} // namespace
