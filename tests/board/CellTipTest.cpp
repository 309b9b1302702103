#include "board/CellTip.h"

#include "platform/System.h"
#include "platform/Utf8.h"
#include "support/TestSupport.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

std::string LocalClock(std::chrono::system_clock::time_point t)
{
    const std::tm local = LocalTime(std::chrono::system_clock::to_time_t(t));
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

TEST(CellTipTest, LineWholeTextAndTimeInState)
{
    FakeBoardClock clock;
    TagMonitor board(2000);
    FakeBoardClock::Advance(10s);
    const char* text = "\xCD\xA8\xBB\xB0\xD6\xD0 with a long tail that no narrow column shows"; // 通话中 ...
    {
        BoardLock lock(board.Lock);
        board.SetCell(text, std::strlen(text), 1500, 2, 0, 15);
    }
    FakeBoardClock::Advance(252s);
    // The same text again: the cell has still shown it for 4 min 12 s.
    {
        BoardLock lock(board.Lock);
        board.SetCell(text, std::strlen(text), 1500, 2, 4, 9);
    }
    const auto wallNow = std::chrono::system_clock::now();
    const TagCsvClock at{FakeBoardClock::Now(), wallNow};
    BoardLock lock(board.Lock);
    EXPECT_EQ(CellTip(board, 1500, 2, at), "Line 1500\n通话中 with a long tail that no narrow column shows\nsince " +
                                               LocalClock(wallNow - 252s) + " (for 4 min 12 s)");
    // A cell never written has shown its empty text since the board was made.
    EXPECT_EQ(CellTip(board, 3, 0, at), "Line 3\n\nsince " + LocalClock(wallNow - 262s) + " (for 4 min 22 s)");
    EXPECT_EQ(CellTip(board, 2000, 0, at), "");
    EXPECT_EQ(CellTip(board, 0, 8, at), "");
}

TEST(CellTipTest, ALongTextStopsWithAnEllipsis)
{
    const auto chars = [](const std::string& utf8) {
        size_t n = 0;
        for (char c : utf8)
            n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
        return n;
    };
    std::string chinese;
    for (int i = 0; i < 14994; ++i)
        chinese += "\xCD\xA8"; // 通, 29,988 bytes
    const struct {
        std::string text;
        bool cut;
    } cases[] = {
        {std::string(29988, 'x'), true},
        {chinese, true},
        {"x" + chinese, true}, // the pairs fall across the decoded part's end
        {std::string(1900, 'x'), false},
    };
    TagMonitor board(1);
    for (const auto& c : cases) {
        {
            BoardLock lock(board.Lock);
            board.SetCell(c.text.data(), c.text.size(), 0, 4, 0, 15);
        }
        BoardLock lock(board.Lock);
        const std::string tip = CellTip(board, 0, 4, CsvClockNow(board));
        EXPECT_LE(chars(tip), kTipChars);
        EXPECT_EQ(tip.rfind("Line 0\n", 0), 0u);
        EXPECT_NE(tip.find("\nsince "), std::string::npos) << "the time in state stays";
        EXPECT_EQ(tip.find("\xEF\xBF\xBD"), std::string::npos) << "never half a character";
        EXPECT_EQ(tip.find(std::string(kEllipsis) + "\nsince ") != std::string::npos, c.cut);
        if (c.cut) {
            EXPECT_EQ(chars(tip), kTipChars);
        }
    }
}

} // namespace
