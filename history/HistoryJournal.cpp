#include "history/HistoryJournal.h"

#include "history/HistoryChanges.h"
#include "history/HistoryFeed.h"
#include "history/HistorySchema.h"
#include "history/Sqlite.h"
#include "platform/System.h"
#include "platform/Utf8Path.h"
#include "settings/EventLog.h"

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <mutex>
#include <thread>

int64_t SystemUtcMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

namespace {

using SteadyClock = std::chrono::steady_clock;

// A state's last use is written back at most this often, and a state is pruned only once it has
// been unused for longer than this and the margin beyond it.
constexpr int64_t kStateLastStep = int64_t(60) * 1000;
constexpr int64_t kStatePruneMargin = int64_t(3600) * 1000;

// The write-ahead log is copied into the file once it holds this many pages (16 MB): four times
// SQLite's own figure, so pages a fold and the commits around it rewrite are copied once, not
// several times.
constexpr int kCheckpointPages = 4000;

// FNV-1a over the colours and the text: a status is a few bytes, and this is on every change's path.
uint64_t HashState(std::string_view text, TColor fore, TColor back)
{
    uint64_t h = (uint64_t(fore) << 32 | back) * 0x9E3779B97F4A7C15ULL;
    for (const char c : text)
        h = (h ^ uint8_t(c)) * 0x100000001B3ULL;
    return h ^ (h >> 29);
}

bool IsDamage(int rc)
{
    rc &= 0xFF;
    return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}

// What the operator reads after the file's name.
std::string Reason(int rc, const SqliteDb& db)
{
    switch (rc & 0xFF) {
    case SQLITE_FULL:
        return "cannot grow: the disk is full";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "is in use by another monitor";
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return "cannot be written (" + db.Message() + ")";
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return "is damaged";
    default:
        return "cannot be used (" + db.Message() + ")";
    }
}

// The same, without the file's name or SQLite's words, for Monitor.log.
const char* LogReason(int rc)
{
    switch (rc & 0xFF) {
    case SQLITE_FULL:
        return "the disk is full";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "the file is in use by another monitor";
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return "the file cannot be written";
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return "the file is damaged";
    default:
        return "the file cannot be used";
    }
}

} // namespace

struct HistoryJournal::Writer {
    explicit Writer(HistoryOptions o) : options(std::move(o))
    {
        if (!options.wallMs)
            options.wallMs = &SystemUtcMs;
        if (!options.steady)
            options.steady = BoardClock.load();
        thread = std::thread([this] { Run(); });
    }

    ~Writer()
    {
        {
            std::lock_guard lock(mutex);
            stopWanted = true;
        }
        wake.notify_all();
        thread.join();
    }

    // --- what other threads see ---
    mutable std::mutex mutex;
    std::condition_variable wake;
    HistoryStatus status;
    bool stopWanted = false;
    bool ended = false;
    uint64_t flushWanted = 0;
    uint64_t flushDone = 0;

    // --- the writer thread's own ---
    HistoryOptions options;
    std::thread thread;
    HistoryFeed& feed = HistoryFeed::Instance();
    SqliteDb db;
    SqliteStmt insertPending, insertEvent, insertPicture, insertState, touchState, updateSession, deleteChunks,
        straddlingChunks, deleteChunk;
    // The states in memory: an open-addressing table of indexes into stateList.
    struct StateUse {
        uint64_t hash;
        TColor fore;
        TColor back;
        std::string text;
        int64_t id;
        int64_t used;
        int64_t stored;
    };
    std::vector<StateUse> stateList;
    std::vector<int32_t> stateSlots = std::vector<int32_t>(64, -1);
    std::vector<size_t> touched; // in stateList
    // This commit's changes; the rows of pending since the last fold (t0, data), which the fold
    // sorts into one chunk per line. Sorting them there, in one pass, and not on each change's
    // path spares the writer a cache miss per change on 2048 lines' buffers.
    HistoryChangeBlob batch{true};
    std::vector<std::pair<int64_t, std::string>> sinceFold;
    std::vector<HistoryChangeBlob> lineChunks = std::vector<HistoryChangeBlob>(kMaxLines, HistoryChangeBlob(false));
    size_t pendingBytes = 0;
    int64_t lastFold = 0;
    std::vector<HistoryFeedEvent> events;
    int64_t sessionStart = 0;
    int64_t anchorWall = 0;
    BoardTime anchorSteady;
    size_t inTransaction = 0;
    size_t carried = 0; // changes taken while a commit was under way: the next commit's
    int walPages = 0;   // in the write-ahead log after the last commit
    uint64_t dropsSeen = 0;
    SteadyClock::time_point lastCommit;
    int firstError = SQLITE_OK;
    int64_t retainedFrom = 0;
    int pruneLine = -1; // the next line whose old changes go; -1 no pruning under way
    SteadyClock::time_point lastPruneCheck;

    void Run()
    {
        // One journal listens at a time: the ring has one reader.
        const char* const kTaken = "another journal already listens in this program";
        if (feed.Attached()) {
            Stop("Line history is off: " + options.path + " is not kept: " + kTaken, kTaken, {});
            return;
        }
        if (!Open())
            return;
        if (!feed.Attach(options.queueSize, options.pictureEvery)) {
            CloseDb();
            Stop("Line history is off: " + options.path + " is not kept: " + kTaken, kTaken, {});
            return;
        }
        {
            std::lock_guard lock(mutex);
            status.state = HistoryState::Recording;
        }
        lastCommit = SteadyClock::now();
        lastPruneCheck = lastCommit;
        for (;;) {
            bool stopping = false;
            uint64_t flushing = 0;
            {
                std::unique_lock lock(mutex);
                wake.wait_for(lock, options.idleWait, [this] { return stopWanted || flushWanted > flushDone; });
                stopping = stopWanted;
                flushing = flushWanted;
            }
            if (stopping)
                feed.Detach(); // nothing new arrives after the last drain but a late writer's
            int rc = Drain();
            const auto now = SteadyClock::now();
            if (rc == SQLITE_OK && (stopping || flushing > flushDone || now - lastCommit >= options.commitEvery)) {
                rc = Commit(!stopping);
            }
            if (rc != SQLITE_OK) {
                Fail(rc);
                return;
            }
            {
                std::lock_guard lock(mutex);
                flushDone = flushing;
            }
            wake.notify_all();
            if (stopping)
                break;
        }
        CloseDb();
        std::lock_guard lock(mutex);
        status.state = HistoryState::Stopped;
        ended = true;
    }

    // --- opening ---

    bool Open()
    {
        int rc = db.Open(options.path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
        if (rc != SQLITE_OK)
            return Refuse(rc);
        sqlite3_extended_result_codes(db.Handle(), 1);
        // A reader that is recovering the file after a crash holds it for a moment.
        sqlite3_busy_timeout(db.Handle(), 500);
        int inspectError = SQLITE_OK;
        int64_t version = 0;
        const HistoryFileKind kind = InspectHistoryFile(db, inspectError, &version);
        if (kind == HistoryFileKind::Error)
            return IsDamage(inspectError) ? SetAside(inspectError) : Refuse(inspectError);
        if (kind == HistoryFileKind::Foreign)
            return Refuse(SQLITE_OK, "is not a line history file; it is left as it is");
        if (kind == HistoryFileKind::Newer)
            return Refuse(SQLITE_OK, "was written by a later version; it is left as it is");
        std::string mode;
        rc = db.QueryText("PRAGMA journal_mode=WAL", mode);
        if (rc != SQLITE_OK)
            return IsDamage(rc) ? SetAside(rc) : Refuse(rc);
        if (mode != "wal")
            return Refuse(SQLITE_CANTOPEN, "cannot be written (its folder takes no new file)");
        rc = db.Exec("PRAGMA synchronous=NORMAL");
        // Every commit touches the newest index page of each line (2048 lines: 8 MB of pages); a
        // cache that holds them spares reading them back from the file at each commit.
        if (rc == SQLITE_OK)
            rc = db.Exec("PRAGMA cache_size=-16384");
        if (rc == SQLITE_OK)
            sqlite3_wal_hook(db.Handle(), &WalCommitted, this); // in place of SQLite's own checkpoints
        if (rc == SQLITE_OK && options.maxPages > 0)
            rc = db.Exec(("PRAGMA max_page_count=" + std::to_string(options.maxPages)).c_str());
        if (rc != SQLITE_OK)
            return Refuse(rc);
        // The journal holds the write lock from here on, between its commits too: a second
        // monitor finds the file busy and leaves it alone, while readers read on (WAL).
        sqlite3_busy_timeout(db.Handle(), 0);
        rc = db.Exec("BEGIN IMMEDIATE");
        if (rc == SQLITE_OK && kind == HistoryFileKind::Empty)
            rc = CreateHistorySchema(db);
        if (rc == SQLITE_OK && kind == HistoryFileKind::Ok && version == kHistoryVersionRowPerChange)
            rc = MigrateHistoryRowPerChange(db);
        if (rc == SQLITE_OK)
            rc = Prepare();
        if (rc == SQLITE_OK)
            rc = LoadStates();
        if (rc == SQLITE_OK)
            rc = LoadPending();
        if (rc == SQLITE_OK)
            rc = db.QueryInt("SELECT value FROM meta WHERE key='retained_from'", retainedFrom);
        if (rc == SQLITE_OK)
            rc = StartSession();
        if (rc == SQLITE_OK)
            rc = db.Exec("COMMIT");
        if (rc == SQLITE_OK)
            rc = db.Exec("BEGIN IMMEDIATE");
        if (rc != SQLITE_OK)
            return IsDamage(rc) ? SetAside(rc) : Refuse(rc); // closing rolls back
        return true;
    }

    int Prepare()
    {
        int rc = insertPending.Prepare(db, "INSERT INTO pending(t0, t1, n, data) VALUES(?1, ?2, ?3, ?4)");
        if (rc == SQLITE_OK)
            rc = insertEvent.Prepare(db, "INSERT INTO events(t, kind, value, until) VALUES(?1, ?2, ?3, ?4)");
        if (rc == SQLITE_OK)
            rc = insertPicture.Prepare(db, "INSERT OR REPLACE INTO keyframes(t, lines, cells) VALUES(?1, ?2, ?3)");
        if (rc == SQLITE_OK)
            rc = insertState.Prepare(db, "INSERT INTO states(text, fore, back, last) VALUES(?1, ?2, ?3, ?4)");
        if (rc == SQLITE_OK)
            rc = touchState.Prepare(db, "UPDATE states SET last = ?2 WHERE id = ?1 AND last < ?2");
        if (rc == SQLITE_OK)
            rc = updateSession.Prepare(db, "UPDATE sessions SET until = ?2, clean = ?3 WHERE started = ?1");
        if (rc == SQLITE_OK)
            rc = deleteChunks.Prepare(db, "DELETE FROM changes WHERE line = ?1 AND t1 < ?2 RETURNING n");
        if (rc == SQLITE_OK)
            rc = straddlingChunks.Prepare(db, "SELECT t0, data FROM changes WHERE line = ?1 AND t0 < ?2");
        if (rc == SQLITE_OK)
            rc = deleteChunk.Prepare(db, "DELETE FROM changes WHERE line = ?1 AND t0 = ?2");
        return rc;
    }

    int LoadStates()
    {
        SqliteStmt all;
        int rc = all.Prepare(db, "SELECT id, text, fore, back, last FROM states");
        while (rc == SQLITE_OK && (rc = all.Step()) == SQLITE_ROW) {
            const std::string_view text = all.Blob(1);
            const auto fore = TColor(all.Int(2));
            const auto back = TColor(all.Int(3));
            AddState({HashState(text, fore, back), fore, back, std::string(text), all.Int(0), all.Int(4), all.Int(4)});
            rc = SQLITE_OK;
        }
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    }

    // What a run that was killed left in pending is folded with this run's first changes.
    int LoadPending()
    {
        SqliteStmt rows;
        int rc = rows.Prepare(db, "SELECT t0, data FROM pending ORDER BY id");
        while (rc == SQLITE_OK && (rc = rows.Step()) == SQLITE_ROW) {
            sinceFold.emplace_back(rows.Int(0), std::string(rows.Blob(1)));
            pendingBytes += sinceFold.back().second.size();
            rc = SQLITE_OK;
        }
        if (rc == SQLITE_DONE)
            rc = SQLITE_OK;
        lastFold = options.wallMs();
        return rc;
    }

    HistoryChangeBlob& Chunk(int line)
    {
        if (size_t(line) >= lineChunks.size())
            lineChunks.resize(size_t(line) + 1, HistoryChangeBlob(false));
        return lineChunks[size_t(line)];
    }

    // --- states ---

    // The slot of a state, or the empty slot where it would go.
    size_t FindSlot(uint64_t hash, std::string_view text, TColor fore, TColor back) const
    {
        const size_t mask = stateSlots.size() - 1;
        for (size_t i = size_t(hash) & mask;; i = (i + 1) & mask) {
            const int32_t k = stateSlots[i];
            if (k < 0)
                return i;
            const StateUse& s = stateList[size_t(k)];
            if (s.hash == hash && s.fore == fore && s.back == back && s.text == text)
                return i;
        }
    }

    size_t AddState(StateUse use)
    {
        if ((stateList.size() + 1) * 2 > stateSlots.size()) {
            stateSlots.assign(stateSlots.size() * 2, -1);
            for (size_t k = 0; k < stateList.size(); ++k) {
                const StateUse& s = stateList[k];
                if (s.id >= 0) // not forgotten
                    stateSlots[FindSlot(s.hash, s.text, s.fore, s.back)] = int32_t(k);
            }
        }
        const size_t slot = FindSlot(use.hash, use.text, use.fore, use.back);
        stateList.push_back(std::move(use));
        stateSlots[slot] = int32_t(stateList.size() - 1);
        return stateList.size() - 1;
    }

    int StartSession()
    {
        // A millisecond early: the first change may be stamped within the millisecond of the start.
        sessionStart = options.wallMs() - 1;
        int64_t taken = 0;
        SqliteStmt last;
        int rc = last.Prepare(db, "SELECT max(max(started), max(until)) FROM sessions");
        if (rc == SQLITE_OK && (rc = last.Step()) == SQLITE_ROW) {
            taken = last.IsNull(0) ? 0 : last.Int(0);
            rc = SQLITE_OK;
        }
        if (rc != SQLITE_OK)
            return rc;
        // A clock set back since the last session must not make the new one start inside it.
        if (sessionStart <= taken)
            sessionStart = taken + 1;
        SqliteStmt insert;
        rc = insert.Prepare(db, "INSERT INTO sessions(started, until, clean) VALUES(?1, ?1, 0)");
        if (rc != SQLITE_OK)
            return rc;
        insert.Bind(1, sessionStart);
        rc = insert.Run();
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    }

    // --- writing ---

    int64_t Intern(std::string_view text, TColor fore, TColor back, int64_t at)
    {
        const uint64_t hash = HashState(text, fore, back);
        const int32_t found = stateSlots[FindSlot(hash, text, fore, back)];
        size_t index = 0;
        if (found >= 0) {
            index = size_t(found);
        } else {
            insertState.BindBlob(1, text);
            insertState.Bind(2, fore);
            insertState.Bind(3, back);
            insertState.Bind(4, at);
            const int rc = insertState.Run();
            if (rc != SQLITE_DONE) {
                Note(rc);
                return kEmptyState;
            }
            const int64_t id = sqlite3_last_insert_rowid(db.Handle());
            index = AddState({hash, fore, back, std::string(text), id, at, at});
        }
        StateUse& use = stateList[index];
        if (at > use.used) {
            if (use.used - use.stored < kStateLastStep && at - use.stored >= kStateLastStep)
                touched.push_back(index);
            use.used = at;
        }
        return use.id;
    }

    void Note(int rc)
    {
        if (firstError == SQLITE_OK)
            firstError = rc;
    }

    int64_t ToUtc(BoardTime t) const
    {
        return anchorWall + std::chrono::floor<std::chrono::milliseconds>(t - anchorSteady).count();
    }

    int Drain()
    {
        anchorWall = options.wallMs();
        anchorSteady = options.steady();
        events.clear();
        feed.TakeEvents(events);
        // After an error nothing more is written: SQLite may have rolled the transaction back, and
        // what followed would be committed row by row.
        for (const HistoryFeedEvent& e : events) {
            if (firstError != SQLITE_OK)
                break;
            insertEvent.Bind(1, ToUtc(e.at));
            insertEvent.Bind(2, int(e.kind));
            insertEvent.Bind(3, e.value);
            insertEvent.Bind(4, ToUtc(e.until));
            const int rc = insertEvent.Run();
            if (rc != SQLITE_DONE)
                Note(rc);
            if (e.kind == HistoryEventKind::NotRecorded)
                dropsSeen += uint64_t(e.value);
        }
        if (std::unique_ptr<HistoryPicture> picture = feed.TakePicture(); picture && firstError == SQLITE_OK)
            WritePicture(*picture);
        for (;;) {
            const size_t room = options.commitChanges > inTransaction ? options.commitChanges - inTransaction : 1;
            if (firstError != SQLITE_OK)
                break;
            const size_t n = feed.Consume(room, [this](const HistoryChange& c) { Take(c); });
            inTransaction += n;
            if (firstError != SQLITE_OK)
                break;
            if (inTransaction >= options.commitChanges) {
                if (const int rc = Commit(true); rc != SQLITE_OK)
                    return rc;
                continue;
            }
            if (n == 0)
                break;
        }
        {
            std::lock_guard lock(mutex);
            status.uncommitted = inTransaction;
        }
        const int rc = firstError;
        firstError = SQLITE_OK;
        return rc;
    }

    void Take(const HistoryChange& c)
    {
        if (firstError != SQLITE_OK)
            return;
        const int64_t at = ToUtc(c.at);
        const int64_t state = Intern(c.text, c.fore, c.back, at);
        batch.Add(c.line, at, state);
    }

    // While a fold or a checkpoint keeps the writer, the ring fills: what waits in it goes into the
    // next commit's row meanwhile, so the receive worker does not find the ring full.
    void Absorb()
    {
        if (!absorbing)
            return;
        anchorWall = options.wallMs();
        anchorSteady = options.steady();
        carried += feed.Consume(HistoryFeed::kRingSlots, [this](const HistoryChange& c) { Take(c); });
    }
    bool absorbing = false;

    static int WalCommitted(void* self, sqlite3*, const char*, int pages)
    {
        static_cast<Writer*>(self)->walPages = pages;
        return SQLITE_OK;
    }

    void WritePicture(const HistoryPicture& picture)
    {
        const int64_t at = ToUtc(picture.at);
        std::vector<HistoryKeyCell> cells(picture.cells.size());
        for (size_t i = 0; i < cells.size(); ++i) {
            const HistoryPicture::Cell& c = picture.cells[i];
            cells[i] = {Intern(c.text, c.fore, c.back, at), ToUtc(c.since)};
        }
        if (firstError != SQLITE_OK)
            return;
        insertPicture.Bind(1, at);
        insertPicture.Bind(2, int64_t(cells.size()));
        insertPicture.BindBlob(3, EncodeKeyframe(cells, at));
        const int rc = insertPicture.Run();
        if (rc != SQLITE_DONE)
            Note(rc);
    }

    // Ends the open transaction; with again, opens the next one at once.
    int Commit(bool again)
    {
        int rc = SQLITE_OK;
        for (const size_t index : touched) {
            StateUse& use = stateList[index];
            touchState.Bind(1, use.id);
            touchState.Bind(2, use.used);
            if ((rc = touchState.Run()) != SQLITE_DONE)
                return rc;
            use.stored = use.used;
        }
        touched.clear();
        const bool fold = !again || pendingBytes + batch.Bytes() >= options.foldBytes ||
                          options.wallMs() - lastFold >= int64_t(options.foldEvery.count());
        absorbing = again;
        rc = fold ? Fold() : AppendPending();
        if (rc != SQLITE_OK)
            return rc;
        updateSession.Bind(1, sessionStart);
        updateSession.Bind(2, std::max(options.wallMs(), sessionStart));
        updateSession.Bind(3, again ? 0 : 1);
        if ((rc = updateSession.Run()) != SQLITE_DONE)
            return rc;
        if (again && (rc = PruneStep()) != SQLITE_OK)
            return rc;
        if ((rc = db.Exec("COMMIT")) != SQLITE_OK)
            return rc;
        // The checkpoint is the writer's, between its transactions, so that the log starts again
        // from its beginning; the ring is emptied before and after it.
        if (walPages >= kCheckpointPages) {
            Absorb();
            sqlite3_wal_checkpoint_v2(db.Handle(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
            Absorb();
        }
        absorbing = false;
        {
            std::lock_guard lock(mutex);
            status.recorded += inTransaction;
            status.uncommitted = 0;
            status.notRecorded = dropsSeen;
            ++status.commits;
        }
        inTransaction = carried;
        carried = 0;
        lastCommit = SteadyClock::now();
        // Another program may have taken the write lock in the moment it was free.
        return again ? db.Exec("BEGIN IMMEDIATE") : SQLITE_OK;
    }

    // This commit's changes as one row at the end of pending.
    int AppendPending()
    {
        if (batch.Empty())
            return SQLITE_OK;
        insertPending.Bind(1, batch.T0());
        insertPending.Bind(2, batch.T1());
        insertPending.Bind(3, batch.Count());
        insertPending.BindBlob(4, batch.Data());
        const int rc = insertPending.Run();
        pendingBytes += batch.Bytes();
        sinceFold.emplace_back(batch.T0(), batch.Data());
        batch.Clear();
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    }

    // Everything since the last fold, pending's rows and this commit's changes, becomes one chunk per
    // line, in the transaction that empties pending: each change is in one place at every commit.
    int Fold()
    {
        if (!batch.Empty())
            sinceFold.emplace_back(batch.T0(), batch.Data());
        batch.Clear();
        for (const auto& [t0, data] : sinceFold) {
            const bool whole = DecodeHistoryChanges(
                data, t0, true, 0, [this](int line, int64_t t, int64_t state) { Chunk(line).Add(line, t, state); });
            if (!whole)
                return SQLITE_CORRUPT;
            Absorb();
        }
        sinceFold.clear();
        for (size_t line = 0; line < lineChunks.size(); ++line) {
            HistoryChangeBlob& chunk = lineChunks[line];
            if (chunk.Empty())
                continue;
            if (const int rc = InsertHistoryChunk(db, int(line), chunk); rc != SQLITE_OK)
                return rc;
            chunk.Clear();
            if (line % 256 == 255)
                Absorb();
        }
        if (pendingBytes > 0) {
            if (const int rc = db.Exec("DELETE FROM pending"); rc != SQLITE_OK)
                return rc;
        }
        pendingBytes = 0;
        lastFold = options.wallMs();
        return SQLITE_OK;
    }

    // --- pruning ---

    int PruneStep()
    {
        if (pruneLine < 0) {
            const auto now = SteadyClock::now();
            if (now - lastPruneCheck < options.pruneCheckEvery)
                return SQLITE_OK;
            lastPruneCheck = now;
            if (const int rc = PlanPrune(); rc != SQLITE_OK || pruneLine < 0)
                return rc;
        }
        size_t deleted = 0;
        while (pruneLine < kMaxLines && deleted < options.pruneRows) {
            if (const int rc = PruneLine(pruneLine, deleted); rc != SQLITE_OK)
                return rc;
            ++pruneLine;
        }
        if (pruneLine < kMaxLines)
            return SQLITE_OK;
        pruneLine = -1;
        return PruneRest();
    }

    // The line's chunks before retainedFrom go; one that reaches past it keeps its later changes.
    int PruneLine(int line, size_t& deleted)
    {
        deleteChunks.Bind(1, line);
        deleteChunks.Bind(2, retainedFrom);
        int rc = SQLITE_OK;
        while ((rc = deleteChunks.Step()) == SQLITE_ROW)
            deleted += size_t(deleteChunks.Int(0));
        deleteChunks.Reset();
        if (rc != SQLITE_DONE)
            return rc;
        straddlingChunks.Bind(1, line);
        straddlingChunks.Bind(2, retainedFrom);
        std::vector<std::pair<int64_t, std::string>> straddling;
        while ((rc = straddlingChunks.Step()) == SQLITE_ROW)
            straddling.emplace_back(straddlingChunks.Int(0), std::string(straddlingChunks.Blob(1)));
        straddlingChunks.Reset();
        if (rc != SQLITE_DONE)
            return rc;
        for (const auto& [t0, data] : straddling) {
            HistoryChangeBlob kept(false);
            const bool whole = DecodeHistoryChanges(data, t0, false, line, [&](int, int64_t t, int64_t state) {
                if (t >= retainedFrom)
                    kept.Add(line, t, state);
                else
                    ++deleted;
            });
            if (!whole)
                return SQLITE_CORRUPT;
            deleteChunk.Bind(1, line);
            deleteChunk.Bind(2, t0);
            if ((rc = deleteChunk.Run()) != SQLITE_DONE)
                return rc;
            if (!kept.Empty() && (rc = InsertHistoryChunk(db, line, kept)) != SQLITE_OK)
                return rc;
        }
        return SQLITE_OK;
    }

    int FindBase(int64_t limit, bool after, int64_t& base) { return FindHistoryBase(db, limit, after, base); }

    int PlanPrune()
    {
        int64_t cut = options.wallMs() - int64_t(options.keepFor.count());
        int64_t pages = 0;
        int64_t freePages = 0;
        int64_t pageSize = 0;
        int rc = db.QueryInt("PRAGMA page_count", pages);
        if (rc == SQLITE_OK)
            rc = db.QueryInt("PRAGMA freelist_count", freePages);
        if (rc == SQLITE_OK)
            rc = db.QueryInt("PRAGMA page_size", pageSize);
        if (rc != SQLITE_OK)
            return rc;
        if ((pages - freePages) * pageSize > options.keepBytes) {
            // Too big: the oldest stretch goes, up to the next moment the state is whole again.
            int64_t next = 0;
            if ((rc = FindBase(retainedFrom, true, next)) != SQLITE_OK)
                return rc;
            cut = std::max(cut, next);
        }
        int64_t base = 0;
        if ((rc = FindBase(cut, false, base)) != SQLITE_OK)
            return rc;
        if (base <= retainedFrom)
            return SQLITE_OK;
        retainedFrom = base;
        SqliteStmt meta;
        if ((rc = meta.Prepare(db, "UPDATE meta SET value = ?1 WHERE key = 'retained_from'")) != SQLITE_OK)
            return rc;
        meta.Bind(1, retainedFrom);
        if ((rc = meta.Run()) != SQLITE_DONE)
            return rc;
        pruneLine = 0;
        return SQLITE_OK;
    }

    // What is left once the changes are gone: the few events, pictures and sessions before the
    // retained span, and the states nobody used since long before it.
    int PruneRest()
    {
        static const char* const kDeletes[] = {
            "DELETE FROM events WHERE t < ?1 AND until < ?1",
            "DELETE FROM keyframes WHERE t < ?1",
            "DELETE FROM sessions WHERE until < ?1",
        };
        for (const char* sql : kDeletes) {
            SqliteStmt stmt;
            int rc = stmt.Prepare(db, sql);
            if (rc != SQLITE_OK)
                return rc;
            stmt.Bind(1, retainedFrom);
            if ((rc = stmt.Run()) != SQLITE_DONE)
                return rc;
        }
        const int64_t unused = retainedFrom - kStatePruneMargin;
        SqliteStmt old;
        int rc = old.Prepare(db, "SELECT id, text, fore, back FROM states WHERE last < ?1 AND id != 0");
        if (rc != SQLITE_OK)
            return rc;
        old.Bind(1, unused);
        bool forgot = false;
        while ((rc = old.Step()) == SQLITE_ROW) {
            const std::string_view text = old.Blob(1);
            const auto fore = TColor(old.Int(2));
            const auto back = TColor(old.Int(3));
            const int32_t k = stateSlots[FindSlot(HashState(text, fore, back), text, fore, back)];
            if (k >= 0 && stateList[size_t(k)].used < unused) {
                stateList[size_t(k)].id = -1;
                forgot = true;
            }
        }
        if (rc != SQLITE_DONE)
            return rc;
        if (forgot && touched.empty()) {
            std::vector<StateUse> all = std::move(stateList);
            stateList.clear();
            stateSlots.assign(64, -1);
            for (StateUse& use : all) {
                if (use.id >= 0)
                    AddState(std::move(use));
            }
        } else if (forgot) {
            // touched holds places in stateList (changes taken during this commit's fold): the
            // forgotten keep theirs, out of the table, until the next time.
            std::fill(stateSlots.begin(), stateSlots.end(), -1);
            for (size_t k = 0; k < stateList.size(); ++k) {
                const StateUse& use = stateList[k];
                if (use.id >= 0)
                    stateSlots[FindSlot(use.hash, use.text, use.fore, use.back)] = int32_t(k);
            }
        }
        SqliteStmt drop;
        if ((rc = drop.Prepare(db, "DELETE FROM states WHERE last < ?1 AND id != 0")) != SQLITE_OK)
            return rc;
        drop.Bind(1, unused);
        rc = drop.Run();
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    }

    // --- stopping ---

    void CloseDb()
    {
        for (SqliteStmt* stmt : {&insertPending, &insertEvent, &insertPicture, &insertState, &touchState,
                                 &updateSession, &deleteChunks, &straddlingChunks, &deleteChunk})
            stmt->Finalize();
        db.Close();
    }

    // Leaves the file as it is. A reason of our own replaces SQLite's; without an error code it is
    // a file of some other kind.
    bool Refuse(int rc, const std::string& reason = {})
    {
        const std::string text = reason.empty() ? Reason(rc, db) : reason;
        CloseDb();
        Stop("Line history is off: " + options.path + " " + text,
             rc == SQLITE_OK ? "the file is not one this monitor can use" : LogReason(rc), {});
        return false;
    }

    // A damaged file is moved out of the way with its write-ahead log, so the next start begins a
    // new one; this run goes on without history.
    bool SetAside(int rc)
    {
        CloseDb();
        const std::tm local = LocalTime(std::time_t(options.wallMs() / 1000));
        std::string name =
            options.path + Format(".damaged-%04d%02d%02d-%02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1,
                                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
        for (int n = 2; ExistsUtf8(name); ++n)
            name += "-" + std::to_string(n);
        if (!RenameUtf8(options.path, name)) {
            Stop("Line history is off: " + options.path + " is damaged and could not be set aside",
                 "the file is damaged and could not be set aside", {});
            return false;
        }
        if (ExistsUtf8(options.path + "-wal"))
            RenameUtf8(options.path + "-wal", name + "-wal");
        RemoveUtf8(options.path + "-shm");
        Stop("Line history is off: " + options.path + " " + Reason(rc, db) + "; it was set aside as " + name,
             "the file is damaged; it was set aside", name);
        return false;
    }

    void Fail(int rc)
    {
        feed.Detach();
        const std::string text = "Line history is off: " + options.path + " " + Reason(rc, db);
        db.Exec("ROLLBACK");
        CloseDb();
        Stop(text, LogReason(rc), {});
    }

    void Stop(const std::string& text, const char* logReason, const std::string& setAside)
    {
        WriteLog(Format("Line history is off: %s", logReason));
        {
            std::lock_guard lock(mutex);
            status.state = HistoryState::Stopped;
            status.text = text;
            status.setAside = setAside;
            ended = true;
        }
        wake.notify_all();
    }
};

HistoryJournal::HistoryJournal(HistoryOptions options) : writer_(std::make_unique<Writer>(std::move(options))) {}

HistoryJournal::~HistoryJournal() = default;

HistoryStatus HistoryJournal::Status() const
{
    std::lock_guard lock(writer_->mutex);
    return writer_->status;
}

bool HistoryJournal::Flush()
{
    Writer& w = *writer_;
    std::unique_lock lock(w.mutex);
    if (w.ended)
        return false;
    const uint64_t ticket = ++w.flushWanted;
    w.wake.notify_all();
    w.wake.wait(lock, [&] { return w.flushDone >= ticket || w.ended; });
    return !w.ended;
}

namespace {

// A whole number in [low, high], blanks around it allowed.
bool WholeNumberIn(std::string_view text, int64_t low, int64_t high, int64_t& value)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    int64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v < low || v > high)
        return false;
    value = v;
    return true;
}

} // namespace

bool ApplyHistoryRetention(HistoryOptions& options, std::string_view days, std::string_view megabytes)
{
    bool taken = true;
    int64_t value = 0;
    if (!days.empty()) {
        if (WholeNumberIn(days, 1, 3650, value))
            options.keepFor = std::chrono::hours(24 * value);
        else
            taken = false;
    }
    if (!megabytes.empty()) {
        if (WholeNumberIn(megabytes, 16, int64_t(1) << 20, value))
            options.keepBytes = value << 20;
        else
            taken = false;
    }
    return taken;
}
