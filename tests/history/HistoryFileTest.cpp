// Files the journal cannot use: it stops, says so once, sets a damaged file aside and leaves every
// other one as it found it, and the board's writer never notices.

#include "history/HistoryJournal.h"

#include "common/HistorySink.h"
#include "history/HistoryReader.h"
#include "history/HistorySchema.h"
#include "settings/EventLog.h"
#include "support/HistoryRig.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class HistoryFileTest : public ::testing::Test {
protected:
    ScratchDir dir;
    std::vector<std::string> log;
    void SetUp() override
    {
        SetLogSink([this](const char* m) { log.emplace_back(m); });
    }
    void TearDown() override { SetLogSink(nullptr); }

    // Waits until the journal has opened the file or given up.
    static HistoryStatus Settled(HistoryJournal& journal)
    {
        journal.Flush();
        return journal.Status();
    }

    // The reason in the status and the one log line a refusal leaves.
    void ExpectStopped(HistoryJournal& journal, const std::string& reason, const std::string& logged)
    {
        const HistoryStatus status = Settled(journal);
        EXPECT_EQ(status.state, HistoryState::Stopped);
        EXPECT_NE(status.text.find(reason), std::string::npos) << status.text;
        EXPECT_EQ(status.text.rfind("Line history is off: ", 0), 0u) << status.text;
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0], "Line history is off: " + logged);
        EXPECT_FALSE(journal.Flush());
    }
};

std::vector<std::string> Files(const std::string& folder = ".")
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST_F(HistoryFileTest, ADamagedFileIsSetAsideAndTheNextStartBeginsANewOne)
{
    std::string garbage(8192, '\0');
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = char(i * 7 + 3);
    WriteFile("history.sqlite3", garbage);
    WriteFile("history.sqlite3-wal", "not a log");
    {
        HistoryRig rig;
        ExpectStopped(*rig.journal, "is damaged; it was set aside as history.sqlite3.damaged-",
                      "the file is damaged; it was set aside");
        const std::string aside = rig.journal->Status().setAside;
        EXPECT_EQ(ReadFile(aside), garbage);
        // SQLite itself may have removed a write-ahead log it could make nothing of.
        if (fs::exists(aside + "-wal")) {
            EXPECT_EQ(ReadFile(aside + "-wal"), "not a log");
        }
        EXPECT_FALSE(fs::exists("history.sqlite3"));
        EXPECT_FALSE(fs::exists("history.sqlite3-wal"));
        rig.Status(2, 0, "Idle"); // the receive path goes on
    }
    log.clear();
    HistoryRig rig;
    rig.Status(2, 0, "Idle");
    ASSERT_TRUE(rig.Flush());
    EXPECT_EQ(rig.journal->Status().state, HistoryState::Recording);
    EXPECT_EQ(rig.journal->Status().recorded, 1u);
    EXPECT_TRUE(log.empty());
}

TEST_F(HistoryFileTest, OneJournalListensAtATime)
{
    HistoryRig first;
    HistoryOptions options = HistoryRig::Options();
    options.path = "other.sqlite3";
    HistoryJournal second(options);
    ExpectStopped(second, "is not kept: another journal already listens in this program",
                  "another journal already listens in this program");
    EXPECT_FALSE(std::filesystem::exists("other.sqlite3"));
    first.Status(2, 0, "Idle");
    ASSERT_TRUE(first.Flush());
    EXPECT_EQ(first.journal->Status().recorded, 1u);
}

// The write lock as a running monitor holds it between its commits (HistoryCrashPosixTest runs a
// real second monitor's journal).
TEST_F(HistoryFileTest, AWriteLockHeldElsewhereIsAMonitorInUse)
{
    {
        HistoryRig make;
        ASSERT_TRUE(make.Flush());
    }
    SqliteDb other;
    ASSERT_EQ(other.Open("history.sqlite3", SQLITE_OPEN_READWRITE), SQLITE_OK);
    ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), SQLITE_OK);
    HistoryRig rig;
    ExpectStopped(*rig.journal, "is in use by another monitor", "the file is in use by another monitor");
    other.Exec("ROLLBACK");
}

TEST_F(HistoryFileTest, OtherDatabasesAreLeftAsTheyAre)
{
    const struct {
        const char* name;
        const char* sql;
        const char* reason;
    } cases[] = {
        {"someone else's", "CREATE TABLE t(x); INSERT INTO t VALUES(1);", "is not a line history file"},
        {"a later version", "PRAGMA application_id = 1366706225; PRAGMA user_version = 3; CREATE TABLE t(x);",
         "was written by a later version"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove("history.sqlite3");
        {
            SqliteDb db;
            ASSERT_EQ(db.Open("history.sqlite3", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE), SQLITE_OK);
            ASSERT_EQ(db.Exec(c.sql), SQLITE_OK);
        }
        const std::string before = ReadFile("history.sqlite3");
        log.clear();
        {
            HistoryRig rig;
            ExpectStopped(*rig.journal, c.reason, "the file is not one this monitor can use");
        }
        EXPECT_EQ(ReadFile("history.sqlite3"), before);
        EXPECT_EQ(Files(), (std::vector<std::string>{"history.sqlite3"}));
        HistoryReader reader;
        std::string error;
        EXPECT_FALSE(reader.Open("history.sqlite3", error));
    }
}

TEST_F(HistoryFileTest, AFolderThatIsAFileTakesNoJournal)
{
    WriteFile("plain", "a file, not a folder");
    HistoryOptions options = HistoryRig::Options();
    options.path = "plain/history.sqlite3";
    HistoryRig rig(options);
    ExpectStopped(*rig.journal, "cannot be written", "the file cannot be written");
    EXPECT_EQ(ReadFile("plain"), "a file, not a folder");
}

TEST_F(HistoryFileTest, AReadOnlyFolderTakesNoJournalAndItsFileIsLeftAlone)
{
#ifdef _WIN32
    GTEST_SKIP() << "a folder's read-only attribute does not stop new files on Windows";
#else
    fs::permissions(dir.path(), fs::perms::all);
    fs::create_directory("ro");
    {
        // One with a history file already in it, writable itself: only the folder refuses the
        // journal's write-ahead log.
        HistoryOptions options = HistoryRig::Options();
        options.path = "ro/history.sqlite3";
        HistoryRig make(options);
        make.Status(2, 0, "Idle");
        ASSERT_TRUE(make.Flush());
    }
    DestroyBoard();
    fs::permissions("ro/history.sqlite3",
                    fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec & ~fs::perms::others_exec);
    fs::permissions("ro", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    const std::string before = ReadFile("ro/history.sqlite3");
    const std::vector<std::string> files = Files("ro");
    for (const char* name : {"ro/history.sqlite3", "ro/new.sqlite3"}) {
        SCOPED_TRACE(name);
        log.clear();
        HistoryOptions options = HistoryRig::Options();
        options.path = name;
        std::unique_ptr<HistoryRig> rig;
        {
            Unprivileged nobody; // the writer thread is made as nobody and stays so
            if (!nobody.active())
                GTEST_SKIP() << nobody.why();
            std::string why;
            if (!WritesRefused("ro/probe", why))
                GTEST_SKIP() << why;
            rig = std::make_unique<HistoryRig>(options);
            ExpectStopped(*rig->journal, "cannot be written", "the file cannot be written");
        }
        rig.reset();
    }
    EXPECT_EQ(ReadFile("ro/history.sqlite3"), before);
    EXPECT_EQ(Files("ro"), files);
    fs::permissions("ro", fs::perms::owner_all, fs::perm_options::add);
#endif
}

TEST_F(HistoryFileTest, AFullDiskStopsTheJournalAndKeepsWhatWasCommitted)
{
    HistoryOptions options = HistoryRig::Options();
    options.maxPages = 40; // 160 KB
    HistoryRig rig(options);
    int sent = 0;
    uint64_t committed = 0;
    while (rig.journal->Status().state != HistoryState::Stopped && sent < 100000) {
        for (int i = 0; i < 500; ++i, ++sent) {
            rig.Advance(10ms);
            rig.Status(64, sent % 64, "S" + std::to_string(sent % 1000));
        }
        if (rig.Flush())
            committed = rig.journal->Status().recorded;
    }
    ExpectStopped(*rig.journal, "cannot grow: the disk is full", "the disk is full");
    EXPECT_EQ(CurHistory.load(), nullptr); // no longer listening
    EXPECT_GT(committed, 0u);
    // The receive path goes on without history.
    rig.Status(64, 0, "after");
    HistoryReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open("history.sqlite3", error)) << error;
    SqliteDb db;
    ASSERT_EQ(db.Open("history.sqlite3", SQLITE_OPEN_READONLY), SQLITE_OK);
    EXPECT_EQ(StoredChanges().size(), committed);
    std::string check;
    ASSERT_EQ(db.QueryText("PRAGMA integrity_check", check), SQLITE_OK);
    EXPECT_EQ(check, "ok");
}
