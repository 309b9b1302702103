#pragma once
// A line history journal in the working directory on the fake board clock, fed as the receive
// worker feeds it: frames through the decoder, the link's events through CurHistory.

#include "history/HistoryChanges.h"
#include "history/HistoryJournal.h"
#include "link/Link.h"
#include "support/TestSupport.h"

#include <memory>
#include <string>
#include <vector>

// The wall clock that goes with FakeBoardClock: kFakeWall0 when the fake clock is made, and on with it.
inline constexpr int64_t kFakeWall0 = 1765000000000; // 2025-12-06T05:46:40Z
int64_t FakeWallMs();

// Every change a history file holds, wherever it is kept, by line and time; empty when the file
// cannot be read (a failed expectation says why).
std::vector<HistoryChangeRow> StoredChanges(const std::string& path = "history.sqlite3");
// The one number a query on a history file gives, read-only; -1 when it fails (a failed
// expectation says why).
int64_t Count(const char* sql, const std::string& path = "history.sqlite3");

class HistoryRig {
public:
    // Options as the program's, with the fake clock, the file "history.sqlite3" and a writer that
    // commits only when flushed (tests say when), unless options says otherwise. Returns once the
    // journal listens or has given up.
    HistoryRig();
    explicit HistoryRig(HistoryOptions options);
    ~HistoryRig();
    HistoryRig(const HistoryRig&) = delete;
    HistoryRig& operator=(const HistoryRig&) = delete;

    static HistoryOptions Options();

    // Decodes one frame of lineCount lines holding records (support/Frames.h's Record) as the worker
    // does; the board is made or replaced as the frame says.
    void Receive(int lineCount, const std::string& records);
    // One status (column 2) of a board of lineCount lines.
    void Status(int lineCount, int line, const std::string& text, int fore = 0, int back = 15);
    void Advance(std::chrono::milliseconds d) { FakeBoardClock::Advance(d); }
    int64_t Wall() const { return FakeWallMs(); }
    bool Flush() { return journal->Flush(); }
    // Ends the journal (a clean stop), leaving the file.
    void Stop() { journal.reset(); }

    FakeBoardClock clock;
    SharedConfig config;
    TagTcpConnection link{config, LinkTiming(), NoConnect{}};
    std::unique_ptr<HistoryJournal> journal;
};
