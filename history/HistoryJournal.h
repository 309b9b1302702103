#pragma once
// The line history journal: every change of a line's status text, with the board's replacements,
// the link's ups and downs and the overdue answers, kept in an SQLite file (WAL mode) by a writer
// thread of its own. The receive worker only hands changes to HistoryFeed; the writer commits them
// once a second or every commitChanges changes, so a crash loses at most the last second, and folds
// them into per-line chunks once a minute. Old
// history is pruned in small steps, by age and by the file's size.
//
// A file that cannot be used (damaged, in use by another monitor, in a folder that takes no file,
// a full disk) stops the journal: a damaged one is set aside under another name, any other is left
// alone, and the reason is logged once and kept in Status() for the screen. The monitor runs on.

#include "board/Board.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

struct HistoryOptions {
    std::string path; // UTF-8
    std::chrono::milliseconds commitEvery{1000};
    size_t commitChanges = 10000;
    // Each commit appends its changes as one row; this often (by wallMs), or once those rows hold
    // foldBytes, they become one chunk per line. At a busy platform's 70 changes a second a line
    // changes about twice a minute: ten minutes make chunks of some twenty changes, whose key costs
    // little beside them, while pending stays small enough for readers to decode whole.
    std::chrono::milliseconds foldEvery{600000};
    size_t foldBytes = size_t(16) << 20;
    // A picture of the whole board after this long, so a moment's state never needs older rows.
    std::chrono::milliseconds pictureEvery = std::chrono::hours(1);
    std::chrono::milliseconds keepFor = std::chrono::hours(24 * 7);
    int64_t keepBytes = int64_t(1) << 30;
    size_t pruneRows = 5000; // changes deleted per commit at most while pruning
    std::chrono::milliseconds pruneCheckEvery{10000};
    size_t queueSize = 65536;               // changes waiting for the writer at most; more are counted and dropped
    std::chrono::milliseconds idleWait{50}; // how often the writer looks for changes
    std::function<int64_t()> wallMs;        // the time in UTC ms; the system's clock by default
    BoardClockFn steady = nullptr;          // the board's clock; BoardClock by default
    int64_t maxPages = 0;                   // tests: a disk that fills at this many pages; 0 none
};

enum class HistoryState { Starting, Recording, Stopped };

struct HistoryStatus {
    HistoryState state = HistoryState::Starting;
    std::string text;         // why the journal stopped (UTF-8), for the screen; empty while it runs
    std::string setAside;     // the name a damaged file was given, if any
    uint64_t recorded = 0;    // changes committed
    uint64_t uncommitted = 0; // changes written into the transaction that is still open
    uint64_t notRecorded = 0; // changes dropped because the writer was behind
    uint64_t commits = 0;
};

class HistoryJournal {
public:
    // Starts the writer thread, which opens the file and then listens (CurHistory). Only one
    // journal listens at a time.
    explicit HistoryJournal(HistoryOptions options);
    // Stops listening, commits what was handed over and closes the file.
    ~HistoryJournal();
    HistoryJournal(const HistoryJournal&) = delete;
    HistoryJournal& operator=(const HistoryJournal&) = delete;

    HistoryStatus Status() const;
    // Returns once everything handed over before the call is committed; false when the journal
    // has stopped.
    bool Flush();

private:
    struct Writer;
    std::unique_ptr<Writer> writer_;
};

// The UTC time in ms now, by the system's clock.
int64_t SystemUtcMs();

// The operator's retention, as the per-user store holds it: how many days and how many megabytes
// of history to keep. Each is taken when it is a whole number from 1 to 3650 days or from 16 to
// 1048576 MB (blanks around it allowed); anything else, an empty text included, leaves the
// default (7 days, 1 GB) as it is. Returns false when a text was given and not taken.
bool ApplyHistoryRetention(HistoryOptions& options, std::string_view days, std::string_view megabytes);
