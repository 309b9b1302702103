#include "sim/SimFrame.h"
#include "sim/SimFeed.h"

#include "FrameDecoder.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values) {
        s.push_back(static_cast<char>(v));
    }
    return s;
}

TEST(SimFrame, OneRecordWithTextLength)
{
    FrameWriter frame(1);
    ASSERT_TRUE(frame.Add(0, 2, 4, 15, "Idle"));
    EXPECT_EQ(frame.Finish(LengthMode::Text),
              Bytes({0x30, 0x30, 0x31, 0x32, 0x01, 0x00, 0x00, 0x00, 0x02, 0x04, 0x0F, 'I', 'd', 'l', 'e', 0x00}));
}

TEST(SimFrame, OneRecordWithBinaryLength)
{
    FrameWriter frame(1);
    ASSERT_TRUE(frame.Add(0, 2, 4, 15, "Idle"));
    EXPECT_EQ(frame.Finish(LengthMode::Binary).substr(0, 6), Bytes({0x0C, 0x00, 0x00, 0x00, 0x01, 0x00}));
}

TEST(SimFrame, NegativeFieldsAndEmptyText)
{
    FrameWriter frame(2048);
    ASSERT_TRUE(frame.Add(-1, 0, -1, 15, ""));
    EXPECT_EQ(frame.Finish(LengthMode::Text),
              Bytes({'0', '0', '0', '8', 0x00, 0x08, 0xFF, 0xFF, 0x00, 0xFF, 0x0F, 0x00}));
}

TEST(SimFrame, TextIsCutAtItsZeroByte)
{
    FrameWriter frame(1);
    ASSERT_TRUE(frame.Add(0, 0, 0, 0, std::string_view("ab\0cd", 5)));
    DecodedFrame decoded;
    ASSERT_TRUE(DecodeFrame(frame.Finish(LengthMode::Text), decoded));
    ASSERT_EQ(decoded.records.size(), 1u);
    EXPECT_EQ(decoded.records[0].text, "ab");
}

// Fills a frame up to an exact body size with one record per step.
FrameWriter FrameWithBody(size_t bodySize)
{
    FrameWriter frame(1, 1 << 20);
    while (frame.BodySize() + 6 + 100 < bodySize) {
        frame.Add(0, 0, 0, 0, std::string(100, 'x'));
    }
    frame.Add(0, 0, 0, 0, std::string(bodySize - frame.BodySize() - 6, 'y'));
    return frame;
}

TEST(SimFrame, TextLengthOnlyUpToFourDigits)
{
    const FrameWriter atLimit = FrameWithBody(9999);
    ASSERT_EQ(atLimit.BodySize(), 9999u);
    EXPECT_EQ(atLimit.Finish(LengthMode::Text).substr(0, 4), "9999");

    const FrameWriter over = FrameWithBody(10000);
    ASSERT_EQ(over.BodySize(), 10000u);
    const std::string bytes = over.Finish(LengthMode::Text);
    EXPECT_EQ(bytes.substr(0, 4), Bytes({0x10, 0x27, 0x00, 0x00}));
    DecodedFrame decoded;
    ASSERT_TRUE(DecodeFrame(bytes, decoded));
    EXPECT_FALSE(decoded.textLength);
    EXPECT_EQ(decoded.bodyLength, 10000);
}

TEST(SimFrame, AddRefusesWhatWouldNotFit)
{
    FrameWriter frame(1, 30);
    ASSERT_TRUE(frame.Add(0, 0, 0, 0, std::string(14, 'a'))); // 4 + 2 + 20 = 26
    EXPECT_FALSE(frame.Add(0, 1, 0, 0, ""));                  // 32 > 30
    EXPECT_EQ(frame.FrameSize(), 26u);
    FrameWriter exact(1, 32);
    ASSERT_TRUE(exact.Add(0, 0, 0, 0, std::string(14, 'a')));
    EXPECT_TRUE(exact.Add(0, 1, 0, 0, ""));
    EXPECT_EQ(exact.Finish(LengthMode::Text).size(), 32u);
}

TEST(SimFrame, DropLastRemovesOneRecord)
{
    FrameWriter frame(3);
    frame.Add(0, 0, 0, 0, "first");
    const std::string one = frame.Finish(LengthMode::Text);
    frame.Add(1, 0, 0, 0, "second");
    frame.DropLast();
    EXPECT_EQ(frame.Finish(LengthMode::Text), one);
    EXPECT_EQ(frame.Records(), 1u);
}

TEST(SimFrame, BinaryLengthsThatReadAsText)
{
    const struct {
        size_t body;
        bool looksLikeText;
    } cases[] = {
        {0x3030, true},  {0x3039, true},  {0x3930, true}, {0x3939, true}, {0x302F, false},  {0x303A, false},
        {0x2F30, false}, {0x3A30, false}, {9999, false},  {30000, false}, {0x13030, false}, // third byte set: the low
                                                                                            // two bytes alone do not
                                                                                            // decide it
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BinaryLengthLooksLikeText(c.body), c.looksLikeText) << c.body;
    }
}

// A client's view of the board, rebuilt from the records it received.
struct ClientBoard {
    std::map<int, DecodedRecord> cells;
    std::string summary;
    void Apply(const DecodedFrame& frame)
    {
        for (const DecodedRecord& r : frame.records) {
            if (r.line == -1) {
                summary = r.text;
            } else {
                cells[r.line * 8 + r.column] = r;
            }
        }
    }
};

void ExpectBoardMatches(const ClientBoard& board, const SimModel& model)
{
    ASSERT_EQ(board.cells.size(), static_cast<size_t>(model.CellCount()));
    for (int i = 0; i < model.CellCount(); ++i) {
        const DecodedRecord& r = board.cells.at(i);
        ASSERT_EQ(r.text, model.Cell(i).text) << "cell " << i;
        ASSERT_EQ(r.fore, model.Cell(i).fore) << "cell " << i;
        ASSERT_EQ(r.back, model.Cell(i).back) << "cell " << i;
    }
    EXPECT_EQ(board.summary, model.Summary());
}

DecodedFrame Decode(const std::string& bytes)
{
    DecodedFrame frame;
    std::string why;
    EXPECT_TRUE(DecodeFrame(bytes, frame, &why)) << why;
    return frame;
}

TEST(SimFeed, FullBoardFillsOverSeveralFramesEachCellOnce)
{
    for (LengthMode mode : {LengthMode::Text, LengthMode::Binary}) {
        const SimModel model(2048, SimLanguage::Zh, 5);
        SimFeed feed(model);
        std::vector<int> seen(static_cast<size_t>(model.CellCount()), 0);
        ClientBoard board;
        int frames = 0;
        while (feed.OwedCells() > 0) {
            const std::string bytes = feed.NextFrame(mode);
            ASSERT_LE(bytes.size(), kMaxFrameBytes);
            const DecodedFrame frame = Decode(bytes);
            ASSERT_EQ(frame.lineCount, 2048);
            for (const DecodedRecord& r : frame.records) {
                if (r.line >= 0) {
                    ++seen[static_cast<size_t>(r.line * 8 + r.column)];
                }
            }
            board.Apply(frame);
            ASSERT_LT(++frames, 100);
        }
        EXPECT_GT(frames, 2);
        for (size_t i = 0; i < seen.size(); ++i) {
            ASSERT_EQ(seen[i], 1) << "cell " << i;
        }
        ExpectBoardMatches(board, model);
        // Nothing changed, so nothing more is owed.
        EXPECT_EQ(Decode(feed.NextFrame(mode)).records.size(), 0u);
    }
}

TEST(SimFeed, ChangesWaitUntilEveryCellWasSentOnce)
{
    SimModel model(2048, SimLanguage::En, 9);
    SimFeed feed(model);
    std::set<int> firstRound;
    ClientBoard board;
    bool filled = false;
    int repeats = 0;
    for (int n = 0; n < 100 && feed.OwedCells() > 0; ++n) {
        const std::string bytes = feed.NextFrame(LengthMode::Text);
        ASSERT_LE(bytes.size(), kMaxFrameBytes);
        const DecodedFrame frame = Decode(bytes);
        for (const DecodedRecord& r : frame.records) {
            if (r.line < 0) {
                continue;
            }
            if (filled) {
                ++repeats;
                continue;
            }
            ASSERT_TRUE(firstRound.insert(r.line * 8 + r.column).second)
                << "cell " << r.line << "/" << r.column << " sent again before the board was full";
            filled = firstRound.size() == static_cast<size_t>(model.CellCount());
        }
        board.Apply(frame);
        // The platform moves on while the board fills; once it is full the rest drains.
        if (!filled) {
            feed.MarkChanged(model.Step(0.3));
        }
    }
    ASSERT_TRUE(filled);
    EXPECT_GT(repeats, 0); // cells that changed during the fill came again afterwards
    ASSERT_EQ(feed.OwedCells(), 0u);
    ExpectBoardMatches(board, model);
}

// A hostile board's 29,988-byte texts fill a frame each. The platform moves on at every answer, so
// the summary is owed again at every answer, and still every cell arrives: a long cell that does
// not fit beside the summary gets the next answer to itself.
TEST(SimFeed, LongTextsArriveWhileTheSummaryChangesAtEveryAnswer)
{
    for (SimHostile hostile : {SimHostile::Long, SimHostile::Mix}) {
        SCOPED_TRACE(int(hostile));
        SimModel model(64, SimLanguage::En, 3, hostile);
        SimFeed feed(model);
        std::set<int> arrived;
        int summaries = 0;
        int frames = 0;
        while (arrived.size() < static_cast<size_t>(model.CellCount())) {
            ASSERT_LT(++frames, 2 * model.CellCount()) << arrived.size() << " cells arrived";
            const std::string bytes = feed.NextFrame(LengthMode::Binary);
            ASSERT_LE(bytes.size(), kMaxFrameBytes);
            for (const DecodedRecord& r : Decode(bytes).records) {
                if (r.line < 0) {
                    ++summaries;
                } else {
                    arrived.insert(r.line * 8 + r.column);
                }
            }
            SimChanges changes = model.Step(0.1);
            changes.summary = true;
            feed.MarkChanged(changes);
        }
        // The summary was not starved either.
        EXPECT_GE(summaries, frames / 3);
    }
}

TEST(SimFeed, LaterAnswersCarryOnlyTheChangedCells)
{
    SimModel model(16, SimLanguage::En, 3);
    SimFeed feed(model);
    Decode(feed.NextFrame(LengthMode::Text));
    const SimChanges changes = model.Step(0.25);
    ASSERT_FALSE(changes.cells.empty());
    feed.MarkChanged(changes);
    const DecodedFrame frame = Decode(feed.NextFrame(LengthMode::Text));
    std::vector<int> sent;
    for (const DecodedRecord& r : frame.records) {
        if (r.line >= 0) {
            sent.push_back(r.line * 8 + r.column);
            EXPECT_EQ(r.text, model.Cell(r.line, r.column).text);
        }
    }
    EXPECT_EQ(sent, changes.cells);
}

TEST(SimFeed, NeverWritesABinaryLengthThatReadsAsText)
{
    // Frame limits that land the body inside the ambiguous sizes.
    for (size_t maxFrame = 0x3030 + 4; maxFrame <= 0x3939 + 4 + 40; maxFrame += 37) {
        const SimModel model(2048, SimLanguage::En, maxFrame);
        SimFeed feed(model);
        for (int n = 0; n < 3; ++n) {
            const std::string bytes = feed.NextFrame(LengthMode::Binary, maxFrame);
            ASSERT_LE(bytes.size(), maxFrame);
            const DecodedFrame frame = Decode(bytes);
            ASSERT_FALSE(frame.textLength) << "limit " << maxFrame;
            ASSERT_FALSE(BinaryLengthLooksLikeText(bytes.size() - 4));
        }
    }
}

TEST(SimFeed, OversizeFrameIsWellFormedAndTooLong)
{
    const SimModel model(3, SimLanguage::En, 1);
    const std::string bytes = OversizeFrame(model);
    EXPECT_GT(bytes.size(), kMaxFrameBytes);
    const DecodedFrame frame = Decode(bytes);
    EXPECT_FALSE(frame.textLength);
    EXPECT_EQ(frame.lineCount, 3);
}

TEST(SimFeed, GarbageIsRejectedByTheFramingRule)
{
    const std::string bytes = GarbageAnswer();
    long long length = -1;
    EXPECT_EQ(CompleteFrameSize(bytes, &length), 5u);
    EXPECT_EQ(length, 1); // a body of one byte cannot hold the line count
    DecodedFrame frame;
    EXPECT_FALSE(DecodeFrame(bytes.substr(0, 5), frame));
}

} // namespace
