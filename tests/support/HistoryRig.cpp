#include "support/HistoryRig.h"

#include "history/Sqlite.h"
#include "link/Protocol.h"
#include "support/Frames.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <tuple>

int64_t FakeWallMs()
{
    // FakeBoardClock starts a million seconds in.
    constexpr int64_t kFakeStartMs = int64_t(1000000) * 1000;
    return kFakeWall0 +
           std::chrono::floor<std::chrono::milliseconds>(FakeBoardClock::Now().time_since_epoch()).count() -
           kFakeStartMs;
}

std::vector<HistoryChangeRow> StoredChanges(const std::string& path)
{
    SqliteDb db;
    std::vector<HistoryChangeRow> rows;
    EXPECT_EQ(db.Open(path, SQLITE_OPEN_READONLY), SQLITE_OK) << path;
    EXPECT_EQ(ForEachHistoryChange(db, [&rows](const HistoryChangeRow& r) { rows.push_back(r); }), SQLITE_OK);
    std::stable_sort(rows.begin(), rows.end(), [](const HistoryChangeRow& a, const HistoryChangeRow& b) {
        return std::tie(a.line, a.t) < std::tie(b.line, b.t);
    });
    return rows;
}

int64_t Count(const char* sql, const std::string& path)
{
    SqliteDb db;
    EXPECT_EQ(db.Open(path, SQLITE_OPEN_READONLY), SQLITE_OK) << path;
    int64_t n = -1;
    EXPECT_EQ(db.QueryInt(sql, n), SQLITE_OK) << sql;
    return n;
}

HistoryOptions HistoryRig::Options()
{
    HistoryOptions o;
    o.path = "history.sqlite3";
    o.wallMs = &FakeWallMs;
    o.commitEvery = std::chrono::hours(1);
    o.pruneCheckEvery = std::chrono::hours(1);
    o.idleWait = std::chrono::milliseconds(5);
    return o;
}

HistoryRig::HistoryRig() : HistoryRig(Options()) {}

HistoryRig::HistoryRig(HistoryOptions options) : journal(std::make_unique<HistoryJournal>(std::move(options)))
{
    // The writer thread opens the file; from its first flush on it listens.
    journal->Flush();
}

HistoryRig::~HistoryRig()
{
    journal.reset();
    DestroyBoard();
}

void HistoryRig::Receive(int lineCount, const std::string& records)
{
    const std::string bytes = Frame(lineCount, records);
    ASSERT_LE(bytes.size(), sizeof link.recvBuf);
    std::memcpy(link.recvBuf, bytes.data(), bytes.size());
    link.size = int32_t(bytes.size());
    ASSERT_TRUE(FrameReady(link));
    ASSERT_EQ(ParseFrame(link), WireOutcome::Done);
}

void HistoryRig::Status(int lineCount, int line, const std::string& text, int fore, int back)
{
    Receive(lineCount, Record(line, 2, fore, back, text));
}
