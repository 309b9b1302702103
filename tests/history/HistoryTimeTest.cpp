// Moments as the probe takes and prints them, and CSV fields a spreadsheet will not run.

#include "history/HistoryTime.h"
#include "history/HistoryCsv.h"

#include <gtest/gtest.h>

TEST(HistoryTimeTest, ReadsIso8601WithItsOffset)
{
    // 2026-12-09T06:00:00Z
    constexpr int64_t kSix = 1796796000000;
    const struct {
        const char* text;
        bool ok;
        int64_t ms;
    } cases[] = {
        {"2026-12-09T06:00:00Z", true, kSix},
        {"2026-12-09T14:00:00+08:00", true, kSix},
        {"2026-12-09T14:00:00+0800", true, kSix},
        {"2026-12-09 01:30:00-04:30", true, kSix},
        {"2026-12-09t06:00z", true, kSix},
        {"2026-12-09T06:00:00.250Z", true, kSix + 250},
        {"2026-12-09T06:00:00,5Z", true, kSix + 500},
        {"2026-12-09T06:00:00.123456Z", true, kSix + 123},
        {"2026-12-10T00:00:00+18:00", true, kSix},
        {"2024-02-29T00:00:00Z", true, 1709164800000},
        {"2026-12-09T06:00:00", false, 0}, // no offset: which moment?
        {"2026-12-09", false, 0},
        {"2026-02-29T00:00:00Z", false, 0}, // no such day
        {"2026-13-01T00:00:00Z", false, 0},
        {"2026-12-09T24:00:00Z", false, 0},
        {"2026-12-09T06:60:00Z", false, 0},
        {"2026-12-09T06:00:00.Z", false, 0},
        {"2026-12-09T06:00:00+8", false, 0},
        {"2026-12-09T06:00:00Z ", false, 0},
        {"", false, 0},
        {"yesterday", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int64_t ms = -1;
        EXPECT_EQ(ParseIsoTime(c.text, ms), c.ok);
        if (c.ok) {
            EXPECT_EQ(ms, c.ms);
        }
    }
}

TEST(HistoryTimeTest, PrintsLocalTimeWithMillisecondsThatReadsBack)
{
    for (int64_t ms :
         {int64_t(1796796000000), int64_t(1796796000001), int64_t(1765000000999), int64_t(1782000123450)}) {
        const std::string text = IsoLocalTimeMs(ms);
        SCOPED_TRACE(text);
        ASSERT_EQ(text.size(), 29u); // 2026-12-09T14:03:27.120+08:00
        EXPECT_EQ(text[19], '.');
        EXPECT_EQ(text.substr(20, 3), std::to_string(1000 + ms % 1000).substr(1));
        int64_t back = 0;
        ASSERT_TRUE(ParseIsoTime(text, back));
        EXPECT_EQ(back, ms);
    }
}

TEST(HistoryTimeTest, CsvFieldsAreNeverFormulas)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"Idle", "Idle"},
        {"", ""},
        {"=1+2", "'=1+2"},
        {"+1", "'+1"},
        {"-1", "'-1"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tx", "\xEF\xBF\xBDx"},
        {"\rx", "\xEF\xBF\xBDx"},
        {"a\nb\x7F", "a\xEF\xBF\xBD"
                     "b\xEF\xBF\xBD"},
        {"=a,b", "\"'=a,b\""},
        {"a=b", "a=b"},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"1,5", "\"1,5\""},
        {"'quoted'", "'quoted'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(NeutralCsvField(c.in), c.out);
    }
}
