#pragma once
// How the line history stores its changes (docs/DESIGN.md). Each commit appends one row of pending
// holding every line's changes of that commit; a fold turns what pending holds into one chunk per
// line (a row of changes) and empties pending, in one transaction. A reader merges the two.
//
// Both blobs are varints. A number of times is a step from the one before (zigzag, so that a clock
// set back steps back), starting from the row's t0:
//   chunk:   [first - t0] [state] then per further change [step] [state]
//   pending: [first - t0] [line] [state] then per further change [line] [step] [state]

#include "history/HistorySchema.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class SqliteDb;

struct HistoryChangeRow {
    int line = 0;
    int64_t t = 0;
    int64_t state = kEmptyState;
    bool operator==(const HistoryChangeRow&) const = default;
};

inline uint64_t ZigZag(int64_t v)
{
    return (uint64_t(v) << 1) ^ uint64_t(v >> 63);
}
inline int64_t UnZigZag(uint64_t v)
{
    return int64_t(v >> 1) ^ -int64_t(v & 1);
}

// The changes of one row (a chunk: one line; pending: any lines), added in the order they came.
class HistoryChangeBlob {
public:
    explicit HistoryChangeBlob(bool withLines) : withLines_(withLines) {}
    void Add(int line, int64_t t, int64_t state)
    {
        if (n_ == 0) {
            first_ = min_ = max_ = prev_ = t;
        } else {
            if (t < min_)
                min_ = t;
            if (t > max_)
                max_ = t;
        }
        // On every change's path: written in place, not byte by byte through the string.
        if (used_ + 3 * kMaxVarint > body_.size())
            body_.resize(std::max(body_.size() * 2, size_t(256)));
        char* const start = body_.data() + used_;
        char* p = start;
        if (withLines_)
            p = Put(p, uint64_t(line));
        if (n_ != 0)
            p = Put(p, ZigZag(t - prev_));
        p = Put(p, uint64_t(state));
        used_ += size_t(p - start);
        prev_ = t;
        ++n_;
    }
    bool Empty() const { return n_ == 0; }
    int64_t Count() const { return n_; }
    int64_t T0() const { return min_; }
    int64_t T1() const { return max_; }
    size_t Bytes() const { return used_; }
    // The row's data, for t0 = T0().
    const std::string& Data()
    {
        data_.clear();
        PutVarint(data_, ZigZag(first_ - min_));
        data_.append(body_.data(), used_);
        return data_;
    }
    void Clear()
    {
        used_ = 0;
        n_ = 0;
    }

private:
    static constexpr size_t kMaxVarint = 10;
    static char* Put(char* p, uint64_t v)
    {
        while (v >= 0x80) {
            *p++ = char(uint8_t(v) | 0x80);
            v >>= 7;
        }
        *p++ = char(v);
        return p;
    }

    bool withLines_;
    std::string body_; // used_ bytes of it hold the changes
    size_t used_ = 0;
    std::string data_;
    int64_t first_ = 0, min_ = 0, max_ = 0, prev_ = 0;
    int64_t n_ = 0;
};

// Hands each change of a row to take(line, t, state) in the order they were added; false when the
// blob is cut short. line is the given one for a chunk.
template <class Take>
bool DecodeHistoryChanges(std::string_view data, int64_t t0, bool withLines, int line, Take&& take)
{
    size_t pos = 0;
    uint64_t v = 0;
    if (!GetVarint(data, pos, v))
        return data.empty();
    int64_t t = t0 + UnZigZag(v);
    for (bool first = true; pos < data.size(); first = false) {
        if (withLines) {
            if (!GetVarint(data, pos, v))
                return false;
            line = int(v);
        }
        if (!first) {
            if (!GetVarint(data, pos, v))
                return false;
            t += UnZigZag(v);
        }
        if (!GetVarint(data, pos, v))
            return false;
        take(line, t, int64_t(v));
    }
    return true;
}

// Every change a file holds (either version), chunks by line and time first, then pending rows in
// the order they were committed.
int ForEachHistoryChange(SqliteDb& db, const std::function<void(const HistoryChangeRow&)>& take);

// Writes one chunk of line; where the line already has a chunk starting at the same moment (a clock
// set back), the two become one.
int InsertHistoryChunk(SqliteDb& db, int line, HistoryChangeBlob& chunk);

// Converts a file of one row per change (version 1) in the open transaction: its changes become
// chunks of at most an hour, and it gets the pending table and version 2.
int MigrateHistoryRowPerChange(SqliteDb& db);
