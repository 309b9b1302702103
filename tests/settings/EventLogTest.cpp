#include "settings/EventLog.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

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

TEST(EventLogTest, UnwritableLogLosesTheLineSilently)
{
    ScratchDir dir;
    ASSERT_TRUE(std::filesystem::create_directory(kLogFileName)); // a directory where the file should be
    WriteLog("lost");
    SUCCEED();
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
