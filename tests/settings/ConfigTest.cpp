#include "settings/Config.h"

#include "common/Texts.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class ConfigTest : public ::testing::Test {
protected:
    ScratchDir dir;
    MessageRecorder boxes;

    TagRunCfg Load(const std::string& file, TagRunCfg start = TagRunCfg())
    {
        WriteFile(kConfigFileName, file);
        EXPECT_EQ(LoadConfig(start), 0);
        return start;
    }
};

TEST_F(ConfigTest, MissingFileShowsBoxAndKeepsValues)
{
    TagRunCfg cfg;
    cfg.ServerPort = 77;
    EXPECT_EQ(LoadConfig(cfg), -1);
    EXPECT_EQ(cfg.ServerPort, 77);
    ASSERT_EQ(boxes.messages().size(), 1u);
    EXPECT_EQ(boxes.messages()[0].text, "Quorvane.cfg");
    EXPECT_EQ(boxes.messages()[0].caption, "Open Config Error");
    EXPECT_EQ(boxes.messages()[0].icon, MsgIcon::Error);
}

TEST_F(ConfigTest, AnotherFileIsReadByTheSameRulesAndQuorvaneCfgIsLeftAlone)
{
    std::filesystem::create_directory("etc");
    WriteFile(kConfigFileName, "SERVER_PORT = 1111\r\n");
    WriteFile("etc/probe.cfg", "server_ip = 127.0.0.1 // loopback\r\nSERVER_PORT=2222\nTITLE1 = Agent Name\n");
    TagRunCfg cfg;
    cfg.SleepSec = 9;
    EXPECT_EQ(LoadConfigFrom("etc/probe.cfg", cfg), 0);
    EXPECT_EQ(cfg.ServerIp, "127.0.0.1");
    EXPECT_EQ(cfg.ServerPort, 2222);
    EXPECT_EQ(cfg.Title1, "AgentName");
    EXPECT_EQ(cfg.SleepSec, 9) << "keys missing from the file keep their values";
    EXPECT_TRUE(boxes.messages().empty());

    // A missing one: the box names it, nothing changes.
    EXPECT_EQ(LoadConfigFrom("etc/none.cfg", cfg), -1);
    EXPECT_EQ(cfg.ServerPort, 2222);
    ASSERT_EQ(boxes.messages().size(), 1u);
    EXPECT_EQ(boxes.messages()[0].text, "etc/none.cfg");
    EXPECT_EQ(boxes.messages()[0].caption, "Open Config Error");
}

TEST_F(ConfigTest, Defaults)
{
    TagRunCfg cfg;
    EXPECT_EQ(cfg.ServerPort, 2004);
    EXPECT_EQ(cfg.SleepSec, 5);
    EXPECT_EQ(cfg.ColGroupNum, 1);
    EXPECT_EQ(cfg.IsEnglish, 0);
    EXPECT_EQ(cfg.Title1, Texts::kTitle1Zh);
    EXPECT_EQ(cfg.Title3, Texts::kTitle3Zh);
}

TEST_F(ConfigTest, EmptyAndCommentOnlyFilesChangeNothing)
{
    EXPECT_EQ(Load(""), TagRunCfg());
    EXPECT_EQ(Load("// nothing here\r\n   // SERVER_PORT = 1\n"), TagRunCfg());
    EXPECT_TRUE(boxes.messages().empty());
}

struct LineCase {
    const char* file;
    std::string TagRunCfg::*textField;
    int32_t TagRunCfg::*intField;
    const char* expectText;
    int32_t expectInt;
};

class ConfigLineTest : public ConfigTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(ConfigLineTest, TakesWhatTheRulesSay)
{
    const LineCase& c = GetParam();
    TagRunCfg start;
    start.ColGroupNum = 3;
    TagRunCfg cfg = Load(c.file, start);
    if (c.textField) {
        EXPECT_EQ(cfg.*c.textField, c.expectText) << c.file;
    }
    if (c.intField) {
        EXPECT_EQ(cfg.*c.intField, c.expectInt) << c.file;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ConfigLineTest,
    ::testing::Values(LineCase{" server_ip \t=  127.0.0.1   // local\r\n", &TagRunCfg::ServerIp, nullptr, "127.0.0.1",
                               0},
                      LineCase{"TITLE1 = Line A/B // note\n", &TagRunCfg::Title1, nullptr, "LineA/B//note", 0},
                      LineCase{"TITLE2 = Agent Name\n", &TagRunCfg::Title2, nullptr, "AgentName", 0},
                      LineCase{"TITLE3=a=b=c", &TagRunCfg::Title3, nullptr, "a=b=c", 0}, // last line without line end
                      LineCase{"SERVER_IP = Host.Example", &TagRunCfg::ServerIp, nullptr, "Host.Example", 0},
                      LineCase{"SERVER_PORT = abc\n", nullptr, &TagRunCfg::ServerPort, nullptr, 0},
                      LineCase{"SERVER_PORT = 12abc\n", nullptr, &TagRunCfg::ServerPort, nullptr, 12},
                      LineCase{"SERVER_PORT = 99999999999\n", nullptr, &TagRunCfg::ServerPort, nullptr, 2147483647},
                      LineCase{"SLEEP_SEC = 0\n", nullptr, &TagRunCfg::SleepSec, nullptr, 0},
                      LineCase{"SLEEP_SEC = -3\n", nullptr, &TagRunCfg::SleepSec, nullptr, -3},
                      LineCase{"COL_GROUP_NUM = 0\n", nullptr, &TagRunCfg::ColGroupNum, nullptr, 3},
                      LineCase{"COL_GROUP_NUM = 11\n", nullptr, &TagRunCfg::ColGroupNum, nullptr, 3},
                      LineCase{"COL_GROUP_NUM = -3\n", nullptr, &TagRunCfg::ColGroupNum, nullptr, 3},
                      LineCase{"COL_GROUP_NUM = 10\n", nullptr, &TagRunCfg::ColGroupNum, nullptr, 10},
                      LineCase{"COL_GROUP_NUM = 4x\n", nullptr, &TagRunCfg::ColGroupNum, nullptr, 4},
                      LineCase{"8080=SERVER_PORT\nSERVER_PORT 2005\n", nullptr, &TagRunCfg::ServerPort, nullptr, 2004},
                      LineCase{"SERVER_PORT=1\nSERVER_PORT=2\n", nullptr, &TagRunCfg::ServerPort, nullptr, 2},
                      LineCase{"UNKNOWN=5\n=5\n", nullptr, &TagRunCfg::ServerPort, nullptr, 2004}),
    [](const ::testing::TestParamInfo<LineCase>& p) { return "Case" + std::to_string(p.index); });

TEST_F(ConfigTest, LanguageWords)
{
    for (const char* word : {"en", "En", "EN", "english", "English"})
        EXPECT_EQ(Load(std::string("LANGUAGE_TYPE = ") + word).IsEnglish, 1) << word;
    TagRunCfg english;
    english.IsEnglish = 1;
    for (const char* word : {"Eng", "Chinese", "CN", ""})
        EXPECT_EQ(Load(std::string("LANGUAGE_TYPE = ") + word, english).IsEnglish, 0) << word;
}

// The GUI library sets the C library's locale from the environment. Under a Turkish one, toupper
// leaves 'i' alone: the keys and the language word must still be upper-cased the ASCII way.
TEST_F(ConfigTest, TurkishLocaleKeepsTheAsciiCaseRules)
{
    TurkishLocale turkish;
    if (!turkish.active())
        GTEST_SKIP() << "no Turkish locale: " << turkish.why();
    // The upper-case SERVER_IP line keeps the test on loopback even if the lower-case one is misread.
    const TagRunCfg cfg = Load("SERVER_IP = 127.0.0.1\r\n"
                               "server_ip = localhost\r\n"
                               "title1 = Agent\r\n"
                               "Title2 = Queue\r\n"
                               "sleep_sec = 7\r\n"
                               "language_type = english\r\n");
    EXPECT_EQ(cfg.ServerIp, "localhost");
    EXPECT_EQ(cfg.Title1, "Agent");
    EXPECT_EQ(cfg.Title2, "Queue");
    EXPECT_EQ(cfg.SleepSec, 7);
    EXPECT_EQ(cfg.IsEnglish, 1);

    for (const char* word : {"en", "En", "EN", "english", "English", "eNgLiSh"})
        EXPECT_EQ(Load(std::string("SERVER_IP = 127.0.0.1\nLANGUAGE_TYPE = ") + word).IsEnglish, 1) << word;
    TagRunCfg english;
    english.IsEnglish = 1;
    for (const char* word : {"Eng", "Chinese", "CN", "", "ENGL\xDDSH", "engl\xFDsh"})
        EXPECT_EQ(Load(std::string("SERVER_IP = 127.0.0.1\nLANGUAGE_TYPE = ") + word, english).IsEnglish, 0) << word;

    // The program's own file says "LANGUAGE_TYPE = English": it must read back as English.
    TagRunCfg saved;
    saved.ServerIp = "127.0.0.1";
    saved.IsEnglish = 1;
    ASSERT_EQ(SaveConfig(saved), 0);
    TagRunCfg back;
    ASSERT_EQ(LoadConfig(back), 0);
    EXPECT_EQ(back.IsEnglish, 1);
    EXPECT_TRUE(back == saved);
    EXPECT_TRUE(boxes.messages().empty());
}

TEST_F(ConfigTest, LongLinesArriveInPieces)
{
    // 511 characters of padding, then a line that the second piece carries on its own.
    std::string file = std::string(511, 'x') + "SERVER_PORT=42\n";
    EXPECT_EQ(Load(file).ServerPort, 42);
    // A key that straddles the cut is lost in both pieces.
    std::string straddle = std::string(505, 'x') + "SERVER_PORT=43\n";
    EXPECT_EQ(Load(straddle).ServerPort, 2004);
}

TEST_F(ConfigTest, BinaryAndHugeFilesAreHarmless)
{
    std::string junk;
    for (int i = 0; i < 200000; ++i)
        junk += char((i * 7919) & 0xFF);
    junk += "\nSERVER_PORT=9\n";
    EXPECT_EQ(Load(junk).ServerPort, 9);
}

TEST_F(ConfigTest, SaveWritesExactlyEightLines)
{
    TagRunCfg cfg;
    cfg.ServerIp = "127.0.0.1";
    cfg.ServerPort = 2100;
    cfg.SleepSec = -1;
    cfg.ColGroupNum = 3;
    cfg.IsEnglish = 1;
    cfg.Title1 = "A";
    ASSERT_EQ(SaveConfig(cfg), 0);
    EXPECT_EQ(ReadFile(kConfigFileName), std::string("SERVER_IP = 127.0.0.1\r\nSERVER_PORT = 2100\r\nSLEEP_SEC = -1\r\n"
                                                     "COL_GROUP_NUM = 3\r\nLANGUAGE_TYPE = English\r\nTITLE1 = A\r\n"
                                                     "TITLE2 = ") +
                                             Texts::kTitle2Zh + "\r\nTITLE3 = " + Texts::kTitle3Zh + "\r\n");
}

TEST_F(ConfigTest, RoundTripLosesOnlyBlanksAndComments)
{
    TagRunCfg cfg;
    cfg.ServerIp = "127.0.0.1";
    cfg.Title1 = "Agent Name";
    cfg.Title2 = "cut//here";
    cfg.ColGroupNum = 20;
    ASSERT_EQ(SaveConfig(cfg), 0);
    TagRunCfg back;
    ASSERT_EQ(LoadConfig(back), 0);
    EXPECT_EQ(back.ServerIp, "127.0.0.1");
    EXPECT_EQ(back.Title1, "AgentName");
    EXPECT_EQ(back.Title2, "cut");
    EXPECT_EQ(back.Title3, cfg.Title3);
    EXPECT_EQ(back.ColGroupNum, 1);
}

TEST_F(ConfigTest, FailedSaveKeepsTheOldFileWhole)
{
    WriteFile(kConfigFileName, "SERVER_PORT = 1234\n");
    // A directory in the way of the temporary file makes the write fail before the rename.
    ASSERT_TRUE(std::filesystem::create_directories("Quorvane.cfg.tmp/x"));
    TagRunCfg cfg;
    EXPECT_EQ(SaveConfig(cfg), -1);
    EXPECT_EQ(ReadFile(kConfigFileName), "SERVER_PORT = 1234\n");
    ASSERT_EQ(boxes.messages().size(), 1u);
    EXPECT_EQ(boxes.messages()[0].caption, "Save Config Error");
}

// A file made read-only (on Windows: the read-only attribute) cannot be opened for writing, so the
// replace must not go around that by renaming a new file over it. Root writes regardless of the
// bits, so the save runs as nobody there; the folder is open to all, so only the file's bits refuse.
TEST_F(ConfigTest, ReadOnlyFileIsNotReplaced)
{
    namespace fs = std::filesystem;
    WriteFile(kConfigFileName, "SERVER_PORT = 1234\n");
    fs::permissions(dir.path(), fs::perms::all);
    fs::permissions(kConfigFileName, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    TagRunCfg cfg;
    cfg.ServerIp = "127.0.0.1";
    int rc = 0;
    {
        Unprivileged nobody;
        if (!nobody.active())
            GTEST_SKIP() << nobody.why();
        std::string why;
        if (!WritesRefused(kConfigFileName, why)) {
            fs::permissions(kConfigFileName, fs::perms::owner_write, fs::perm_options::add);
            GTEST_SKIP() << why;
        }
        rc = SaveConfig(cfg);
    }
    fs::permissions(kConfigFileName, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(ReadFile(kConfigFileName), "SERVER_PORT = 1234\n");
    EXPECT_FALSE(fs::exists("Quorvane.cfg.tmp"));
    ASSERT_EQ(boxes.messages().size(), 1u);
    EXPECT_EQ(boxes.messages()[0].caption, "Save Config Error");
}

TEST_F(ConfigTest, RemovedKeyKeepsTheEarlierValue)
{
    TagRunCfg cfg = Load("SERVER_PORT = 3000\n");
    cfg = Load("SLEEP_SEC = 1\n", cfg);
    EXPECT_EQ(cfg.ServerPort, 3000);
    EXPECT_EQ(cfg.SleepSec, 1);
}

TEST(LeadingIntTest, Conversions)
{
    struct {
        const char* text;
        int32_t value;
    } cases[] = {{"12ab", 12},
                 {"abc", 0},
                 {" 7", 7},
                 {"-3", -3},
                 {"+5", 5},
                 {"", 0},
                 {"  -", 0},
                 {"2147483647", 2147483647},
                 {"2147483648", 2147483647},
                 {"-2147483648", -2147483647 - 1},
                 {"-99999999999999999999", -2147483647 - 1},
                 {"  62", 62},
                 {"200px", 200}};
    for (const auto& c : cases)
        EXPECT_EQ(LeadingInt(c.text), c.value) << c.text;
}

} // namespace
