#include "board/BoardSearch.h"

#include "board/Board.h"
#include "platform/GbkText.h"

#include <algorithm>
#include <array>
#include <memory>
#include <string>

namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr char16_t kEuro = 0x20AC;

char16_t Fold(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
}

bool IsLead(unsigned char b)
{
    return b >= 0x81 && b <= 0xFE;
}

bool IsTrail(unsigned char b)
{
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

// What GbkToUtf16 makes of every two-byte character, 0 where it makes U+FFFD of the lead (and of
// the trail, unless that is ASCII): read once from the decoder itself, so a match here is a match
// in its output.
class PairTable {
public:
    PairTable()
    {
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
                if (!IsTrail(static_cast<unsigned char>(trail)))
                    continue;
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                const std::u16string one = GbkToUtf16(std::string_view(pair, 2));
                units_[Index(lead, trail)] = one.size() == 1 ? one[0] : 0;
            }
        }
    }
    char16_t At(unsigned char lead, unsigned char trail) const { return units_[Index(lead, trail)]; }

private:
    static size_t Index(unsigned lead, unsigned trail) { return (lead - 0x81) * 0xBF + (trail - 0x40); }
    std::array<char16_t, size_t(0x7E) * 0xBF> units_{};
};

const PairTable& Pairs()
{
    static const PairTable table;
    return table;
}

// Walks a GBK text character by character as the decoder reads it: the UTF-16 unit each character
// becomes, folded, and where the next one starts. A two-byte character the decoder cannot map
// becomes U+FFFD and its trail byte a character of its own (itself when ASCII, else U+FFFD) that
// never starts a pair.
struct GbkReader {
    std::string_view text;
    size_t at = 0;
    bool loneTrail = false; // the byte at `at` is the trail of a pair that did not map

    bool AtEnd() const { return at >= text.size(); }

    char16_t Next(const PairTable& pairs)
    {
        const auto b = static_cast<unsigned char>(text[at]);
        if (loneTrail) {
            loneTrail = false;
            ++at;
            return b < 0x80 ? Fold(b) : kReplacement;
        }
        if (b < 0x80) {
            ++at;
            return Fold(b);
        }
        if (IsLead(b) && at + 1 < text.size() && IsTrail(static_cast<unsigned char>(text[at + 1]))) {
            const char16_t unit = pairs.At(b, static_cast<unsigned char>(text[at + 1]));
            if (unit != 0) {
                at += 2;
                return unit;
            }
            loneTrail = true;
            ++at;
            return kReplacement;
        }
        ++at;
        return b == 0x80 ? kEuro : kReplacement;
    }
};

} // namespace

TGbkMatcher::TGbkMatcher(std::u16string_view query) : query_(query), back_(query.size(), 0)
{
    for (char16_t& c : query_)
        c = Fold(c);
    // The table of pairs is read from the decoder once per process, here rather than under the
    // board's lock in the first slice.
    const PairTable& pairs = Pairs();
    if (!query_.empty()) {
        const char16_t first = query_.front();
        startsAscii_ = first < 0x80;
        for (unsigned b = 0; b < 0x80; ++b)
            firstAscii_[b] = Fold(char16_t(b)) == first;
        if (!startsAscii_ && first != kReplacement && first != kEuro) {
            for (unsigned lead = 0x81; lead <= 0xFE && firstLead_ == 0; ++lead) {
                for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
                    if (IsTrail(static_cast<unsigned char>(trail)) &&
                        pairs.At(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)) == first) {
                        firstLead_ = static_cast<unsigned char>(lead);
                        firstTrail_ = static_cast<unsigned char>(trail);
                        break;
                    }
                }
            }
            // A character GBK has no pair for is in no text; the scan below still finds that out.
        }
    }
    for (size_t i = 1, k = 0; i < query_.size(); ++i) {
        while (k > 0 && query_[i] != query_[k])
            k = back_[k - 1];
        if (query_[i] == query_[k])
            ++k;
        back_[i] = k;
    }
}

size_t TGbkMatcher::NextCandidate(std::string_view gbk, size_t at) const
{
    const PairTable& pairs = Pairs();
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(gbk[i]); };
    const bool anyHigh = !startsAscii_ && firstLead_ == 0;
    while (at < gbk.size()) {
        const unsigned char b = byte(at);
        if (b < 0x80) {
            if (firstAscii_[b])
                return at;
            ++at;
            continue;
        }
        if (anyHigh)
            return at;
        if (IsLead(b) && at + 1 < gbk.size() && IsTrail(byte(at + 1))) {
            const unsigned char t = byte(at + 1);
            if (b == firstLead_ && t == firstTrail_)
                return at;
            // A pair that does not map reads as U+FFFD and its trail on its own, which may be ASCII.
            if (pairs.At(b, t) == 0 && startsAscii_ && t < 0x80 && firstAscii_[t])
                return at;
            at += 2;
            continue;
        }
        ++at; // a byte on its own: U+FFFD or the euro sign, never the first character here
    }
    return at;
}

bool TGbkMatcher::In(std::string_view gbk) const
{
    if (query_.empty())
        return false;
    const PairTable& pairs = Pairs();
    GbkReader reader{gbk};
    for (size_t matched = 0; !reader.AtEnd();) {
        if (matched == 0 && !reader.loneTrail) {
            reader.at = NextCandidate(gbk, reader.at);
            if (reader.AtEnd())
                break;
        }
        const char16_t unit = reader.Next(pairs);
        while (matched > 0 && unit != query_[matched])
            matched = back_[matched - 1];
        if (unit == query_[matched] && ++matched == query_.size())
            return true;
    }
    return false;
}

TBoardFind::TBoardFind(std::u16string_view query) : matcher_(query), empty_(query.empty())
{
    done_ = empty_;
}

bool TBoardFind::Step(const TagMonitor& board, size_t budgetBytes)
{
    if (empty_)
        return true;
    if (board.LineCount != lineCount_) {
        lineCount_ = board.LineCount;
        matches_.clear();
        next_ = 0;
        done_ = false;
    }
    size_t read = 0;
    for (; next_ < board.LineCount && (read < budgetBytes || read == 0); ++next_) {
        bool found = matcher_.In(std::to_string(next_));
        const TagLineRec& row = board.Rows[size_t(next_)];
        for (int k = 0; k < kColsPerLine && !found; ++k) {
            read += row.Cols[k].Text.size();
            found = matcher_.In(row.Cols[k].Text);
        }
        if (found)
            matches_.push_back(next_);
    }
    done_ = next_ >= board.LineCount;
    return done_;
}

std::vector<int> FindLines(const TagMonitor& board, std::u16string_view query)
{
    TBoardFind find(query);
    while (!find.Step(board)) {
    }
    return find.Matches();
}

int NextMatch(const std::vector<int>& matches, int from, bool backwards)
{
    if (matches.empty())
        return -1;
    if (backwards) {
        auto it = std::lower_bound(matches.begin(), matches.end(), from);
        return it == matches.begin() ? matches.back() : *std::prev(it);
    }
    auto it = std::upper_bound(matches.begin(), matches.end(), from);
    return it == matches.end() ? matches.front() : *it;
}
