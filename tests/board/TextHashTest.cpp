#include "board/TextHash.h"
#include "board/Board.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(TextHashTest, SipHashGivesTheReferenceVectors)
{
    // The reference implementation's vectors: key 00..0f, messages 00, 00 01, ... of every length.
    const TagSipKey key{0x0706050403020100ULL, 0x0f0e0d0c0b0a0908ULL};
    const struct {
        size_t length;
        uint64_t hash;
    } cases[] = {
        {0, 0x726fdb47dd0e0e31ULL},
        {8, 0x93f5f5799a932462ULL},
        {15, 0xa129ca6149be45e5ULL},
    };
    for (const auto& c : cases) {
        std::string message;
        for (size_t i = 0; i < c.length; ++i)
            message += char(i);
        EXPECT_EQ((SipHash<2, 4>(key, message)), c.hash) << c.length;
    }
}

TEST(TextHashTest, TheBoardKeepsTheHashOfEveryText)
{
    TagMonitor board(3);
    EXPECT_EQ(board.Rows[0].Cols[2].Hash, 0u) << "a cell never written: the empty text's hash";
    EXPECT_EQ(TextHash(""), 0u);
    const std::string texts[] = {"Idle", "Talking", std::string(30000, 'x'), "", "Idle"};
    std::set<uint64_t> seen;
    for (const std::string& text : texts) {
        BoardLock lock(board.Lock);
        board.SetCell(text.data(), text.size(), 1, 2, 0, 15);
        EXPECT_EQ(board.Rows[1].Cols[2].Hash, TextHash(text));
        EXPECT_EQ(board.Rows[1].Cols[2].Hash == 0, text.empty());
        seen.insert(board.Rows[1].Cols[2].Hash);
    }
    EXPECT_EQ(seen.size(), 4u) << "four texts, four hashes";
    EXPECT_NE(TextHash("a"), TextHash("b"));
    EXPECT_NE(TextHash(std::string(29999, 'x') + "a"), TextHash(std::string(29999, 'x') + "b"));
}
