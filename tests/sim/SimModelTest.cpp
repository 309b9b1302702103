#include "sim/SimModel.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <set>
#include <utility>

namespace {

// GBK to UTF-8 through the system's own converter, independent of the simulator's tables.
#ifdef _WIN32
std::string GbkToUtf8(const std::string& gbk)
{
    constexpr UINT kGbkCodePage = 936;
    const int inSize = static_cast<int>(gbk.size());
    const int wide = MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk.data(), inSize, nullptr, 0);
    EXPECT_GT(wide, 0) << "not valid GBK";
    if (wide <= 0) {
        return {};
    }
    std::wstring utf16(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk.data(), inSize, utf16.data(), wide);
    const int size = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, out.data(), size, nullptr, nullptr);
    return out;
}
#else
std::string GbkToUtf8(const std::string& gbk)
{
    iconv_t cd = iconv_open("UTF-8", "GBK");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string in = gbk;
    std::string out(gbk.size() * 3 + 4, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    size_t inLeft = in.size();
    size_t outLeft = out.size();
    const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    EXPECT_NE(rc, static_cast<size_t>(-1)) << "not valid GBK";
    out.resize(out.size() - outLeft);
    return out;
}
#endif

TEST(SimTexts, ChineseTextsAreTheIntendedGbkCharacters)
{
    const SimTexts& zh = TextsFor(SimLanguage::Zh);
    const std::pair<const char*, const char*> cases[] = {
        {zh.status[0], "空闲"},  {zh.status[1], "振铃"},     {zh.status[2], "通话"},     {zh.status[3], "录音"},
        {zh.status[4], "挂机"},  {zh.waiting, "等待来电"},   {zh.incoming, "来电 "},     {zh.playing, "放音 "},
        {zh.recording, "录音 "}, {zh.ended, "通话结束"},     {zh.lines, "线路 "},        {zh.queues[0], "销售"},
        {zh.queues[1], "客服"},  {zh.queues[2], "查询余额"}, {zh.queues[3], "技术支持"},
    };
    for (const auto& [gbk, utf8] : cases) {
        EXPECT_EQ(GbkToUtf8(gbk), utf8);
    }
    // Byte sequences as Python's gbk codec writes them.
    EXPECT_EQ(std::string(zh.status[0]), "\xBF\xD5\xCF\xD0");
    EXPECT_EQ(std::string(zh.status[4]), "\xB9\xD2\xBB\xFA");
    EXPECT_EQ(std::string(zh.queues[3]), "\xBC\xBC\xCA\xF5\xD6\xA7\xB3\xD6");
}

TEST(SimTexts, EnglishStatusWords)
{
    const SimTexts& en = TextsFor(SimLanguage::En);
    const std::string expected[] = {"Idle", "Ringing", "Talking", "Recording", "Hang-up"};
    for (int s = 0; s < kStatusCount; ++s) {
        EXPECT_EQ(en.status[s], expected[s]);
    }
}

TEST(SimModel, EachStatusHasItsOwnColours)
{
    std::set<std::pair<int, int>> styles;
    for (const StatusStyle& style : kStatusStyles) {
        EXPECT_GE(style.fore, 0);
        EXPECT_LE(style.fore, 15);
        EXPECT_GE(style.back, 0);
        EXPECT_LE(style.back, 15);
        EXPECT_NE(style.fore, style.back);
        styles.insert({style.fore, style.back});
    }
    EXPECT_EQ(styles.size(), static_cast<size_t>(kStatusCount));
}

TEST(SimModel, CellsFollowTheLineState)
{
    for (SimLanguage language : {SimLanguage::En, SimLanguage::Zh}) {
        SimModel model(200, language, 11);
        const SimTexts& texts = TextsFor(language);
        for (int step = 0; step < 5; ++step) {
            int counts[kStatusCount] = {};
            for (int line = 0; line < model.LineCount(); ++line) {
                const int s = static_cast<int>(model.Status(line));
                ++counts[s];
                EXPECT_EQ(model.Cell(line, 0).text, std::to_string(line));
                EXPECT_NE(model.Cell(line, 1).text.find(".scr"), std::string::npos);
                EXPECT_EQ(model.Cell(line, 2).text, texts.status[s]);
                EXPECT_EQ(model.Cell(line, 2).fore, kStatusStyles[s].fore);
                EXPECT_EQ(model.Cell(line, 2).back, kStatusStyles[s].back);
                const bool idle = model.Status(line) == LineStatus::Idle;
                EXPECT_EQ(model.Cell(line, 5).text.empty(), idle);
                if (idle || model.Status(line) == LineStatus::Ringing) {
                    EXPECT_EQ(model.Cell(line, 3).text, "") << "keys of line " << line;
                }
            }
            std::string summary = texts.lines + std::to_string(model.LineCount());
            for (int s = 0; s < kStatusCount; ++s) {
                summary += std::string(" | ") + texts.status[s] + " " + std::to_string(counts[s]);
            }
            EXPECT_EQ(model.Summary(), summary);
            model.Step(0.5);
        }
    }
}

TEST(SimModel, StartsWithEveryStatusOnABigBoard)
{
    const SimModel model(512, SimLanguage::En, 2);
    std::set<LineStatus> statuses;
    for (int line = 0; line < model.LineCount(); ++line) {
        statuses.insert(model.Status(line));
    }
    EXPECT_EQ(statuses.size(), static_cast<size_t>(kStatusCount));
}

std::set<int> ChangedLines(const SimChanges& changes)
{
    std::set<int> lines;
    for (int cell : changes.cells) {
        lines.insert(cell / 8);
    }
    return lines;
}

TEST(SimModel, ChangeRateIsTheShareOfLinesThatChange)
{
    const struct {
        int lines;
        double rate;
        size_t changed;
    } cases[] = {{64, 0.0, 0}, {64, 0.25, 16}, {64, 1.0, 64}, {2048, 0.1, 204}, {1, 1.0, 1}};
    for (const auto& c : cases) {
        SimModel model(c.lines, SimLanguage::En, 4);
        for (int step = 0; step < 3; ++step) {
            const SimChanges changes = model.Step(c.rate);
            const std::set<int> lines = ChangedLines(changes);
            // 2048 x 0.1 leaves a fraction of 0.8: one line more now and then.
            EXPECT_GE(lines.size(), c.changed) << c.lines << " lines at " << c.rate;
            EXPECT_LE(lines.size(), c.changed + (c.lines * c.rate != static_cast<double>(c.changed))) << c.lines;
        }
    }
}

TEST(SimModel, ReportedChangesAreExactlyTheCellsThatDiffer)
{
    SimModel model(100, SimLanguage::Zh, 8);
    for (int step = 0; step < 10; ++step) {
        std::vector<SimCell> before;
        for (int i = 0; i < model.CellCount(); ++i) {
            before.push_back(model.Cell(i));
        }
        const std::string summaryBefore = model.Summary();
        const SimChanges changes = model.Step(0.2);
        std::vector<int> differ;
        for (int i = 0; i < model.CellCount(); ++i) {
            if (!(before[static_cast<size_t>(i)] == model.Cell(i))) {
                differ.push_back(i);
            }
        }
        EXPECT_EQ(changes.cells, differ);
        EXPECT_EQ(changes.summary, summaryBefore != model.Summary());
    }
}

TEST(SimModel, SameSeedSameBoard)
{
    SimModel a(300, SimLanguage::En, 42);
    SimModel b(300, SimLanguage::En, 42);
    SimModel c(300, SimLanguage::En, 43);
    for (int step = 0; step < 4; ++step) {
        a.Step(0.3);
        b.Step(0.3);
        c.Step(0.3);
    }
    bool differsFromOtherSeed = false;
    for (int i = 0; i < a.CellCount(); ++i) {
        ASSERT_EQ(a.Cell(i), b.Cell(i));
        differsFromOtherSeed = differsFromOtherSeed || !(a.Cell(i) == c.Cell(i));
    }
    EXPECT_TRUE(differsFromOtherSeed);
}

} // namespace
