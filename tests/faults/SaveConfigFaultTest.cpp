// SaveConfig cut off half-way: by a full disk, by the file size limit that kills the writer, by a
// write refused, and by a directory where the file should be. The old file must stay whole every
// time (the case of a directory in the way of the temporary file is in the settings tests). And what
// a write in place kept, the replace keeps: a read-only file, a symbolic link, the permissions.

#include "FaultSupport.h"
#include "settings/Config.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The file an interrupted save must leave as it was.
std::string OldFile()
{
    return LoopbackConfig(4321, -1, "// the operator's note\r\n");
}
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

struct stat Stat(const char* name)
{
    struct stat st {};
    ::lstat(name, &st);
    return st;
}

std::string LinkText(const char* name)
{
    char buf[4096];
    const ssize_t n = ::readlink(name, buf, sizeof buf);
    return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

// The file SaveConfig writes for NewValues().
std::string NewFile()
{
    return "SERVER_IP = 127.0.0.2\r\nSERVER_PORT = 5555\r\nSLEEP_SEC = 5\r\nCOL_GROUP_NUM = 1\r\n"
           "LANGUAGE_TYPE = Chinese\r\nTITLE1 = " +
           std::string(300, 'n') + "\r\nTITLE2 = " + NewValues().Title2 + "\r\nTITLE3 = " + NewValues().Title3 + "\r\n";
}

class SaveConfigFault : public ::testing::Test {
protected:
    ScratchDir dir;
    MessageRecorder boxes;

    void SetUp() override { WriteFile(kConfigFileName, OldFile()); }

    void ExpectOldFileWhole()
    {
        EXPECT_EQ(ReadFile(kConfigFileName), OldFile());
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

// Root writes whatever the permission bits say, so the cases where they must stop a write run as the
// user nobody; the folder is opened to everyone so that only the bits under test stand in the way.
class SaveConfigKeeps : public SaveConfigFault {
protected:
    void SetUp() override
    {
        SaveConfigFault::SetUp();
        oldMask_ = ::umask(022);
        ASSERT_EQ(::chmod(".", 0777), 0);
    }
    void TearDown() override
    {
        ::umask(oldMask_);
        ::chmod(".", 0700);
    }

    // SaveConfig(NewValues()) as nobody; false (the test skips, saying why) where that cannot be.
    bool SaveAsNobody(int& rc)
    {
        Unprivileged nobody;
        if (!nobody.active()) {
            why_ = nobody.why();
            return false;
        }
        rc = SaveConfig(NewValues());
        return true;
    }
    std::string why_;

private:
    mode_t oldMask_ = 0;
};

TEST_F(SaveConfigKeeps, ReadOnlyFileIsNotReplaced)
{
    ASSERT_EQ(::chmod(kConfigFileName, 0444), 0);
    const ino_t inode = Stat(kConfigFileName).st_ino;
    int rc = 0;
    if (!SaveAsNobody(rc))
        GTEST_SKIP() << why_;
    EXPECT_EQ(rc, -1);
    ExpectOldFileWhole();
    EXPECT_EQ(Stat(kConfigFileName).st_ino, inode);
    EXPECT_EQ(Stat(kConfigFileName).st_mode & 07777, 0444u);
    EXPECT_FALSE(Exists(kTmpName));
    ASSERT_EQ(boxes.messages().size(), 1u);
    EXPECT_EQ(boxes.messages()[0].caption, "Save Config Error");
    EXPECT_EQ(boxes.messages()[0].text, "Quorvane.cfg");
}

TEST_F(SaveConfigKeeps, ReadOnlyFileBehindALinkIsNotReplaced)
{
    ASSERT_EQ(::mkdir("shared", 0777), 0);
    ASSERT_EQ(::chmod("shared", 0777), 0);
    ASSERT_EQ(std::rename(kConfigFileName, "shared/real.cfg"), 0);
    ASSERT_EQ(::chmod("shared/real.cfg", 0444), 0);
    ASSERT_EQ(::symlink("shared/real.cfg", kConfigFileName), 0);
    int rc = 0;
    if (!SaveAsNobody(rc))
        GTEST_SKIP() << why_;
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(LinkText(kConfigFileName), "shared/real.cfg");
    EXPECT_EQ(ReadFile("shared/real.cfg"), OldFile());
    EXPECT_FALSE(Exists("shared/real.cfg.tmp"));
    EXPECT_EQ(boxes.messages().size(), 1u);
}

// The folder of Quorvane.cfg takes no new file (only nobody is stopped by that), the folder of its
// target does: the new file can only have been written beside the target. Its inode shows that it
// was replaced rather than written over.
TEST_F(SaveConfigKeeps, LinkStaysALinkAndItsTargetIsReplacedInItsOwnFolder)
{
    ASSERT_EQ(::mkdir("shared", 0777), 0);
    ASSERT_EQ(::chmod("shared", 0777), 0);
    ASSERT_EQ(std::rename(kConfigFileName, "shared/real.cfg"), 0);
    ASSERT_EQ(::chmod("shared/real.cfg", 0666), 0);
    ASSERT_EQ(::symlink("shared/real.cfg", kConfigFileName), 0);
    const ino_t inode = Stat("shared/real.cfg").st_ino;
    ASSERT_EQ(::chmod(".", 0555), 0);
    int rc = 0;
    if (!SaveAsNobody(rc))
        GTEST_SKIP() << why_;
    ::chmod(".", 0777);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(S_ISLNK(Stat(kConfigFileName).st_mode));
    EXPECT_EQ(LinkText(kConfigFileName), "shared/real.cfg");
    EXPECT_EQ(ReadFile("shared/real.cfg"), NewFile());
    EXPECT_NE(Stat("shared/real.cfg").st_ino, inode);
    EXPECT_EQ(Stat("shared/real.cfg").st_mode & 07777, 0666u);
    EXPECT_FALSE(Exists(kTmpName));
    EXPECT_FALSE(Exists("shared/real.cfg.tmp"));
    EXPECT_TRUE(boxes.messages().empty());
}

TEST_F(SaveConfigKeeps, LinksOfEveryKindLeadToTheFileThatIsWritten)
{
    namespace fs = std::filesystem;
    const std::string here = fs::current_path().string();
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links; // link name, link text
        const char* target;
    } cases[] = {
        {"relative", {{"Quorvane.cfg", "shared/real.cfg"}}, "shared/real.cfg"},
        {"absolute", {{"Quorvane.cfg", here + "/shared/real.cfg"}}, "shared/real.cfg"},
        {"chain", {{"Quorvane.cfg", "step"}, {"step", "shared/hop"}, {"shared/hop", "real.cfg"}}, "shared/real.cfg"},
        {"dangling", {{"Quorvane.cfg", "shared/new.cfg"}}, "shared/new.cfg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ec;
        fs::remove_all("shared", ec);
        fs::remove("step", ec);
        fs::remove(kConfigFileName, ec);
        ASSERT_TRUE(fs::create_directory("shared"));
        WriteFile("shared/real.cfg", OldFile());
        for (const auto& [name, text] : c.links)
            ASSERT_EQ(::symlink(text.c_str(), name.c_str()), 0) << name;
        EXPECT_EQ(SaveConfig(NewValues()), 0);
        for (const auto& [name, text] : c.links)
            EXPECT_EQ(LinkText(name.c_str()), text) << name;
        EXPECT_EQ(ReadFile(c.target), NewFile());
        TagRunCfg loaded;
        EXPECT_EQ(LoadConfig(loaded), 0);
        EXPECT_EQ(loaded.ServerPort, 5555);
        EXPECT_FALSE(Exists(kTmpName));
        EXPECT_FALSE(Exists((std::string(c.target) + ".tmp").c_str()));
    }
    EXPECT_TRUE(boxes.messages().empty());
}

TEST_F(SaveConfigKeeps, LinkLoopIsReportedAndLeftAlone)
{
    ASSERT_EQ(std::remove(kConfigFileName), 0);
    ASSERT_EQ(::symlink("loop", kConfigFileName), 0);
    ASSERT_EQ(::symlink(kConfigFileName, "loop"), 0);
    EXPECT_EQ(SaveConfig(NewValues()), -1);
    EXPECT_EQ(LinkText(kConfigFileName), "loop");
    EXPECT_EQ(LinkText("loop"), kConfigFileName);
    EXPECT_FALSE(Exists(kTmpName));
    EXPECT_EQ(boxes.messages().size(), 1u);
}

TEST_F(SaveConfigKeeps, PermissionBitsStay)
{
    // 0644 is what a new file gets here, so the other modes show that they were carried over.
    for (mode_t mode : {0600, 0640, 0660, 0604, 0664, 0444, 02640, 0644}) {
        SCOPED_TRACE(mode);
        WriteFile(kConfigFileName, OldFile());
        ASSERT_EQ(::chmod(kConfigFileName, mode), 0);
        const ino_t inode = Stat(kConfigFileName).st_ino;
        // As root, as before: root may write a read-only file, and so may replace it.
        EXPECT_EQ(SaveConfig(NewValues()), ::geteuid() == 0 || (mode & 0200) ? 0 : -1);
        if (::geteuid() != 0 && !(mode & 0200))
            continue;
        EXPECT_EQ(ReadFile(kConfigFileName), NewFile());
        EXPECT_NE(Stat(kConfigFileName).st_ino, inode);
        EXPECT_EQ(Stat(kConfigFileName).st_mode & 07777, mode);
    }
}

TEST_F(SaveConfigKeeps, OwnerAndGroupStay)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    ASSERT_EQ(::chown(kConfigFileName, 65534, 65534), 0);
    EXPECT_EQ(SaveConfig(NewValues()), 0);
    EXPECT_EQ(ReadFile(kConfigFileName), NewFile());
    EXPECT_EQ(Stat(kConfigFileName).st_uid, 65534u);
    EXPECT_EQ(Stat(kConfigFileName).st_gid, 65534u);
}

TEST_F(SaveConfigKeeps, FolderThatTakesNoNewFileStillHasTheFileWrittenInPlace)
{
    ASSERT_EQ(::chmod(kConfigFileName, 0666), 0);
    const ino_t inode = Stat(kConfigFileName).st_ino;
    ASSERT_EQ(::chmod(".", 0555), 0);
    int rc = 0;
    if (!SaveAsNobody(rc))
        GTEST_SKIP() << why_;
    ::chmod(".", 0777);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ReadFile(kConfigFileName), NewFile());
    EXPECT_EQ(Stat(kConfigFileName).st_ino, inode);
    EXPECT_FALSE(Exists(kTmpName));
    EXPECT_TRUE(boxes.messages().empty());
}

} // namespace
