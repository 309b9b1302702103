// Journals in other processes: a monitor killed while its journal has a batch open (the file opens
// again without repair and holds everything committed before; only the open batch is lost), and a
// second monitor beside a running one.

#include "history/HistoryJournal.h"

#include "history/HistoryReader.h"
#include "history/Sqlite.h"
#include "settings/EventLog.h"
#include "support/HistoryRig.h"

#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

constexpr int kBatch = 300;
constexpr int kLines = 32;

// The child: two committed batches, then a third written into the open transaction; then it says
// so on the pipe and waits for the end.
[[noreturn]] void Child(int ready)
{
    HistoryRig rig;
    int sent = 0;
    for (int batch = 0; batch < 3; ++batch) {
        for (int i = 0; i < kBatch; ++i, ++sent) {
            rig.Advance(20ms);
            rig.Status(kLines, sent % kLines, "S" + std::to_string(sent));
        }
        if (batch < 2 && !rig.Flush())
            _exit(3);
    }
    // The writer looks for changes every few milliseconds; the rig never commits by time.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (rig.journal->Status().uncommitted < uint64_t(kBatch)) {
        if (std::chrono::steady_clock::now() > deadline)
            _exit(4);
        std::this_thread::sleep_for(1ms);
    }
    if (write(ready, "k", 1) != 1)
        _exit(5);
    for (;;)
        pause();
}

} // namespace

TEST(HistoryCrashTest, AKillMidBatchLosesOnlyThatBatch)
{
    ScratchDir dir;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(fds[0]);
        Child(fds[1]);
    }
    close(fds[1]);
    pollfd p{fds[0], POLLIN, 0};
    const int ready = poll(&p, 1, 20000);
    char byte = 0;
    const bool told = ready == 1 && read(fds[0], &byte, 1) == 1;
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    close(fds[0]);
    ASSERT_TRUE(told) << "the child ended early, status " << status;
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    {
        SqliteDb db;
        ASSERT_EQ(db.Open("history.sqlite3", SQLITE_OPEN_READWRITE), SQLITE_OK);
        std::string check;
        ASSERT_EQ(db.QueryText("PRAGMA integrity_check", check), SQLITE_OK);
        EXPECT_EQ(check, "ok");
        const std::vector<HistoryChangeRow> rows = StoredChanges();
        EXPECT_EQ(rows.size(), size_t(2 * kBatch));
        int64_t last = 0;
        for (const HistoryChangeRow& r : rows)
            last = std::max(last, r.t);
        EXPECT_EQ(last, kFakeWall0 + 2 * kBatch * 20);
        // The killed run did not end cleanly: readers count it as running only a moment past its
        // last commit.
        int64_t clean = -1;
        ASSERT_EQ(db.QueryInt("SELECT clean FROM sessions", clean), SQLITE_OK);
        EXPECT_EQ(clean, 0);
    }
    // The next start takes the file as it is and goes on; the killed run ends in a gap.
    HistoryRig rig;
    rig.Advance(1h);
    rig.Status(kLines, 0, "after");
    ASSERT_TRUE(rig.Flush());
    EXPECT_EQ(rig.journal->Status().state, HistoryState::Recording);
    HistoryReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open("history.sqlite3", error)) << error;
    std::vector<HistorySpan> board;
    HistoryGap gap = HistoryGap::None;
    ASSERT_TRUE(reader.BoardAt(kFakeWall0 + 2 * kBatch * 20, board, gap));
    EXPECT_EQ(gap, HistoryGap::None);
    EXPECT_EQ(board.size(), size_t(kLines));
    int64_t first = 0;
    int64_t last = 0;
    ASSERT_TRUE(reader.Span(first, last));
    EXPECT_EQ(last, rig.Wall());
    // The killed run's commits were still waiting to be folded: the next start folds them with its
    // own, once, and empties pending.
    const int64_t end = rig.Wall();
    std::vector<HistorySpan> before;
    ASSERT_TRUE(reader.LineSpans(1, kFakeWall0, end, before));
    EXPECT_GE(before.size(), size_t(2 * kBatch / kLines));
    rig.Stop();
    SqliteDb db;
    ASSERT_EQ(db.Open("history.sqlite3", SQLITE_OPEN_READONLY), SQLITE_OK);
    int64_t pending = -1;
    ASSERT_EQ(db.QueryInt("SELECT count(*) FROM pending", pending), SQLITE_OK);
    EXPECT_EQ(pending, 0);
    EXPECT_EQ(StoredChanges().size(), size_t(2 * kBatch + 1));
    std::vector<HistorySpan> after;
    ASSERT_TRUE(reader.LineSpans(1, kFakeWall0, end, after));
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].from, before[i].from) << i;
        EXPECT_TRUE(after[i].SameAs(before[i])) << i;
    }
}

TEST(HistoryCrashTest, ASecondMonitorLeavesTheFileToTheFirst)
{
    ScratchDir dir;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(fds[0]);
        HistoryRig rig;
        rig.Status(2, 0, "Idle");
        if (!rig.Flush() || write(fds[1], "k", 1) != 1)
            _exit(3);
        for (;;)
            pause();
    }
    close(fds[1]);
    pollfd p{fds[0], POLLIN, 0};
    char byte = 0;
    const bool told = poll(&p, 1, 20000) == 1 && read(fds[0], &byte, 1) == 1;
    std::vector<std::string> log;
    SetLogSink([&log](const char* m) { log.emplace_back(m); });
    HistoryStatus second;
    if (told) {
        HistoryJournal journal(HistoryRig::Options());
        journal.Flush();
        second = journal.Status();
    }
    SetLogSink(nullptr);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(fds[0]);
    ASSERT_TRUE(told);
    EXPECT_EQ(second.state, HistoryState::Stopped);
    EXPECT_NE(second.text.find("history.sqlite3 is in use by another monitor"), std::string::npos) << second.text;
    EXPECT_EQ(log, (std::vector<std::string>{"Line history is off: the file is in use by another monitor"}));
    // What the first one wrote is all there.
    SqliteDb db;
    ASSERT_EQ(db.Open("history.sqlite3", SQLITE_OPEN_READONLY), SQLITE_OK);
    EXPECT_EQ(StoredChanges().size(), 1u);
}
