// SaveConfig cut off half-way: by a full disk, by the file size limit that kills the writer, by a
// write refused, and by a directory where the file should be. The old file must stay whole every
// time (the case of a directory in the way of the temporary file is in the settings tests).

#include "FaultSupport.h"
#include "settings/Config.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char kOldFile[] = "SERVER_IP = 127.0.0.1\r\nSERVER_PORT = 4321\r\n// the operator's note\r\n";
const char kTmpName[] = "Quorvane.cfg.tmp";

TagRunCfg NewValues()
{
    TagRunCfg cfg;
    cfg.ServerIp = "127.0.0.2";
    cfg.ServerPort = 5555;
    cfg.Title1 = std::string(300, 'n'); // larger than any limit below
    return cfg;
}

bool Exists(const char* name)
{
    struct stat st;
    return ::lstat(name, &st) == 0;
}

class SaveConfigFault : public ::testing::Test {
protected:
    ScratchDir dir;
    MessageRecorder boxes;

    void SetUp() override { WriteFile(kConfigFileName, kOldFile); }

    void ExpectOldFileWhole()
    {
        EXPECT_EQ(ReadFile(kConfigFileName), kOldFile);
        TagRunCfg loaded;
        EXPECT_EQ(LoadConfig(loaded), 0);
        EXPECT_EQ(loaded.ServerPort, 4321);
    }

    // Runs SaveConfig in a child process whose files may not grow past limit bytes. Returns the
    // child's wait status.
    int SaveInLimitedChild(rlim_t limit, bool ignoreSignal)
    {
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (ignoreSignal)
                ::signal(SIGXFSZ, SIG_IGN);
            rlimit r{limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &r);
            SetMessageHandler([](const TagMessage&) {});
            const int rc = SaveConfig(NewValues());
            ::_exit(rc == -1 ? 3 : 4);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return status;
    }
};

TEST_F(SaveConfigFault, FullDiskKeepsTheOldFileAndLeavesNoTemporaryFile)
{
    if (::access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    ASSERT_EQ(::symlink("/dev/full", kTmpName), 0);
    EXPECT_EQ(SaveConfig(NewValues()), -1);
    ExpectOldFileWhole();
    EXPECT_FALSE(Exists(kTmpName));
    ASSERT_EQ(boxes.messages().size(), 1u);
    EXPECT_EQ(boxes.messages()[0].caption, "Save Config Error");
    EXPECT_EQ(boxes.messages()[0].text, "Quorvane.cfg");
}

TEST_F(SaveConfigFault, WriterKilledHalfWayKeepsTheOldFileAndTheNextSaveSucceeds)
{
    const int status = SaveInLimitedChild(64, false);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
    ExpectOldFileWhole();
    EXPECT_LE(ReadFile(kTmpName).size(), 64u); // the torn copy is the temporary one

    EXPECT_EQ(SaveConfig(NewValues()), 0);
    TagRunCfg loaded;
    EXPECT_EQ(LoadConfig(loaded), 0);
    EXPECT_EQ(loaded, NewValues());
    EXPECT_FALSE(Exists(kTmpName));
}

TEST_F(SaveConfigFault, WriteRefusedHalfWayReportsAndKeepsTheOldFile)
{
    const int status = SaveInLimitedChild(64, true);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 3); // SaveConfig returned -1
    ExpectOldFileWhole();
    EXPECT_FALSE(Exists(kTmpName));
}

TEST_F(SaveConfigFault, DirectoryInPlaceOfTheFileIsLeftAlone)
{
    ASSERT_EQ(std::remove(kConfigFileName), 0);
    ASSERT_EQ(::mkdir(kConfigFileName, 0700), 0);
    WriteFile(std::string(kConfigFileName) + "/inside", "x");
    EXPECT_EQ(SaveConfig(NewValues()), -1);
    EXPECT_EQ(ReadFile(std::string(kConfigFileName) + "/inside"), "x");
    EXPECT_FALSE(Exists(kTmpName));
    EXPECT_EQ(boxes.messages().size(), 1u);
}

} // namespace
