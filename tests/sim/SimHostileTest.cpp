#include "sim/SimHostile.h"
#include "FrameDecoder.h"
#include "platform/GbkText.h"
#include "sim/SimFeed.h"
#include "sim/SimModel.h"
#include "sim/SimOptions.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

std::set<std::string> Statuses(const SimModel& model)
{
    std::set<std::string> texts;
    for (int line = 0; line < model.LineCount(); ++line)
        texts.insert(model.Cell(line, 2).text);
    return texts;
}

bool DecodesBroken(const std::string& gbk)
{
    return GbkToUtf16(gbk).find(u'\xFFFD') != std::u16string::npos;
}

} // namespace

TEST(SimHostile, MixHasEveryKindAndADistinctStatusOnEveryLine)
{
    SimModel model(2048, SimLanguage::En, 3, SimHostile::Mix);
    bool formula[128] = {};
    bool seenByte[256] = {};
    int longTexts = 0, markup = 0, broken = 0, escapes = 0;
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(Statuses(model).size(), 2048u) << "round " << round;
        for (int i = 0; i < model.CellCount(); ++i) {
            const std::string& text = model.Cell(i).text;
            ASSERT_EQ(text.find('\0'), std::string::npos) << "a 0 byte would end the text on the wire";
            ASSERT_LE(text.size(), kHostileLongBytes);
            if (i % 8 == 0) {
                EXPECT_EQ(text, std::to_string(i / 8)) << "line numbers stay findable";
                continue;
            }
            if (!text.empty() && static_cast<unsigned char>(text[0]) < 128)
                formula[static_cast<unsigned char>(text[0])] = true;
            for (char c : text)
                seenByte[static_cast<unsigned char>(c)] = true;
            longTexts += text.size() == kHostileLongBytes ? 1 : 0;
            markup += text.find("<b>") != std::string::npos ? 1 : 0;
            broken += DecodesBroken(text) ? 1 : 0;
            escapes += text.find("\x1B[") != std::string::npos ? 1 : 0;
        }
        model.Step(0.5);
    }
    for (char c : {'=', '+', '-', '@', '<', '\x1B'})
        EXPECT_TRUE(formula[static_cast<unsigned char>(c)]) << "a text starting with " << c;
    for (int b = 1; b < 256; ++b)
        EXPECT_TRUE(seenByte[b]) << "byte " << b;
    EXPECT_GT(longTexts, 2048 / kHostileKinds);
    EXPECT_GT(markup, 2048);
    EXPECT_GT(broken, 2048);
    EXPECT_GT(escapes, 2048);
    EXPECT_NE(model.Summary().find("\x1B[2J"), std::string::npos);
}

TEST(SimHostile, LongStatusesAreDistinctButAlikeUntilTheirEnds)
{
    SimModel model(2048, SimLanguage::Zh, 4, SimHostile::Long);
    const std::set<std::string> texts = Statuses(model);
    ASSERT_EQ(texts.size(), 2048u);
    const std::string& first = *texts.begin();
    for (const std::string& text : texts) {
        ASSERT_EQ(text.size(), kHostileLongBytes);
        size_t same = 0;
        while (same < text.size() && text[same] == first[same])
            ++same;
        EXPECT_GT(same, kHostileLongBytes - 64) << "alike but for the end";
    }
    EXPECT_EQ(first.rfind("<b>", 0), 0u) << "markup at the start";
}

TEST(SimHostile, EveryLongTextReachesTheClientWhole)
{
    const SimModel model(40, SimLanguage::En, 5, SimHostile::Long);
    for (LengthMode mode : {LengthMode::Text, LengthMode::Binary}) {
        SimFeed feed(model);
        std::set<int> statusLines;
        for (int frames = 0; feed.OwedCells() > 0; ++frames) {
            ASSERT_LT(frames, 200) << "every answer must carry something";
            const std::string bytes = feed.NextFrame(mode);
            ASSERT_LE(bytes.size(), kMaxFrameBytes);
            DecodedFrame frame;
            std::string why;
            ASSERT_TRUE(DecodeFrame(bytes, frame, &why)) << why;
            for (const DecodedRecord& r : frame.records) {
                if (r.column == 2 && r.line >= 0) {
                    EXPECT_EQ(r.text, model.Cell(r.line, 2).text);
                    statusLines.insert(r.line);
                }
            }
        }
        EXPECT_EQ(statusLines.size(), 40u);
    }
}

TEST(SimHostile, OptionAndItsKinds)
{
    const struct {
        std::vector<const char*> args;
        ParseResult result;
        SimHostile hostile;
    } cases[] = {
        {{}, ParseResult::Run, SimHostile::Off},
        {{"--hostile"}, ParseResult::Run, SimHostile::Mix},
        {{"--hostile=mix"}, ParseResult::Run, SimHostile::Mix},
        {{"--hostile=long"}, ParseResult::Run, SimHostile::Long},
        {{"--hostile", "--lines", "2048"}, ParseResult::Run, SimHostile::Mix},
        {{"--hostile=all"}, ParseResult::Error, SimHostile::Off},
        {{"--hostile="}, ParseResult::Error, SimHostile::Off},
    };
    for (const auto& c : cases) {
        std::vector<const char*> args = c.args;
        args.insert(args.begin(), "quorvane-sim");
        SimOptions options;
        std::string error;
        EXPECT_EQ(ParseSimArgs(static_cast<int>(args.size()), args.data(), options, error), c.result) << error;
        if (c.result == ParseResult::Run)
            EXPECT_EQ(options.hostile, c.hostile);
        else
            EXPECT_NE(error.find("mix or long"), std::string::npos) << error;
    }
    EXPECT_NE(std::string(SimUsage()).find("--hostile"), std::string::npos);
}
