#include "link/Protocol.h"
#include "link/Transport.h"

#include "board/Board.h"
#include "settings/EventLog.h"
#include "support/Frames.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

using namespace std::chrono_literals;

namespace {

class ProtocolTest : public ::testing::Test {
protected:
    ScratchDir dir;
    RecordingView view;
    SharedConfig config;
    TagTcpConnection link{config, LinkTiming(), NoConnect{}};

    void Hold(const std::string& bytes)
    {
        ASSERT_LE(bytes.size(), sizeof link.recvBuf);
        std::memcpy(link.recvBuf, bytes.data(), bytes.size());
        link.size = int32_t(bytes.size());
    }
    std::string Held() const { return std::string(reinterpret_cast<const char*>(link.recvBuf), size_t(link.size)); }

    // Decodes one frame the way the worker does; Incomplete when FrameReady says to wait.
    WireOutcome Decode()
    {
        if (!FrameReady(link))
            return WireOutcome::Incomplete;
        return ParseFrame(link);
    }

    TagLineCols& Cell(int line, int column) { return CurBoard->Rows[size_t(line)].Cols[column]; }

    void TearDown() override { DestroyBoard(); }
};

TEST_F(ProtocolTest, WorkedExampleInBothLengthFormsAndAsSummary)
{
    const std::string record = "\x02\x04\x0F"
                               "Idle";
    struct Case {
        std::string bytes;
        bool summary;
    } cases[] = {
        {std::string("0012\x01\x00\x00\x00", 8) + record + '\0', false},
        {std::string("\x0C\x00\x00\x00\x01\x00\x00\x00", 8) + record + '\0', false},
        {std::string("0012\x01\x00\xFF\xFF", 8) + record + '\0', true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.summary ? "summary" : "cell");
        DestroyBoard();
        Hold(c.bytes);
        ASSERT_TRUE(FrameReady(link));
        EXPECT_EQ(link.packLen, 12);
        ASSERT_EQ(ParseFrame(link), WireOutcome::Done);
        EXPECT_EQ(link.size, 0);
        ASSERT_NE(CurBoard, nullptr);
        EXPECT_EQ(CurBoard->LineCount, 1);
        const TagLineCols& cell = Cell(0, 2);
        EXPECT_EQ(cell.Text, c.summary ? "" : "Idle");
        EXPECT_EQ(cell.ForeColor, c.summary ? 0x000000u : LinePalette[4]);
        EXPECT_EQ(cell.BackColor, 0xFFFFFFu);
        EXPECT_EQ(cell.Changed, !c.summary);
    }
    std::vector<std::string> expected = {"layout:1", "layout:1", "layout:1", "summary:Idle"};
    EXPECT_EQ(view.calls(), expected);
    EXPECT_TRUE(link.connected);
}

TEST_F(ProtocolTest, FrameReadyReadsTheLengthField)
{
    struct Case {
        std::string bytes;
        bool ready;
        int32_t packLen;
    } cases[] = {
        {"0001", false, 0}, // four bytes are not looked at
        {"0012x", false, 12},
        {std::string("\x30\x31\x00\x00x", 5), true, 1}, // two digits: a text length of 1, not 12592
        {"12abx", false, 12},
        {"9999x", false, 9999},
        {std::string("0\x01\x00\x00x", 5), false, 0x130}, // one digit only: binary
        {Binary32(29996) + "x", false, 29996},            // fits the buffer exactly: wait for it
        {Binary32(29997) + "x", true, 29997},             // cannot fit: hand on at once
        {Binary32(0x7FFFFFFF) + "x", true, 0x7FFFFFFF},
        {Binary32(0xFFFFFFFF) + "x", true, -1},
        {Binary32(0x80000000) + "x", true, INT32_MIN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        link.packLen = 0;
        Hold(c.bytes);
        EXPECT_EQ(FrameReady(link), c.ready);
        EXPECT_EQ(link.packLen, c.packLen);
    }
}

TEST_F(ProtocolTest, BadLengthIsLoggedAndNothingApplied)
{
    struct Case {
        std::string bytes;
        std::string log;
    } cases[] = {
        {"00011", "packLen Err, packLen=1, size=5"},
        {"00001", "packLen Err, packLen=0, size=5"},
        {Binary32(1) + "xyz", "packLen Err, packLen=1, size=7"},
        {Binary32(29997) + "x", "packLen Err, packLen=29997, size=5"},
        {Binary32(0x7FFFFFFF) + "x", "packLen Err, packLen=2147483647, size=5"},
        {Binary32(0x80000000) + "x", "packLen Err, packLen=-2147483648, size=5"},
    };
    std::vector<std::string> expectedLog;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.log);
        link.connected = true;
        Hold(c.bytes);
        EXPECT_EQ(Decode(), WireOutcome::BadLength);
        EXPECT_FALSE(link.connected);
        EXPECT_EQ(Held(), c.bytes);
        expectedLog.push_back(c.log);
    }
    EXPECT_EQ(LogMessages(), expectedLog);
    EXPECT_EQ(CurBoard, nullptr);
    EXPECT_TRUE(view.calls().empty());
}

TEST_F(ProtocolTest, LineCountRange)
{
    Hold(Frame(2048, Record(2047, 7, 1, 2, "last")));
    ASSERT_EQ(Decode(), WireOutcome::Done);
    EXPECT_EQ(Cell(2047, 7).Text, "last");
    DestroyBoard();

    for (int count : {2049, -1, -32768}) {
        SCOPED_TRACE(count);
        link.connected = true;
        const std::string frame = Frame(count, Record(0, 0, 1, 2, "x"));
        Hold(frame);
        EXPECT_EQ(Decode(), WireOutcome::BadLineCount);
        EXPECT_FALSE(link.connected);
        EXPECT_EQ(Held(), frame);
    }
    EXPECT_EQ(CurBoard, nullptr);
    EXPECT_TRUE(LogMessages().empty());
    EXPECT_EQ(view.calls(), std::vector<std::string>{"layout:2048"});
}

TEST_F(ProtocolTest, MalformedRecordsRejectTheWholeFrame)
{
    const std::string good = Record(0, 0, 1, 2, "new");
    struct Case {
        std::string records;
        size_t pos; // where the decoding found the fault
    } cases[] = {
        {good + std::string("\x01\x00\x01\x02\x03no-nul", 11), 6 + good.size()},
        {good + std::string("\x01\x00\x01\x02\x03", 5), 6 + good.size()}, // 5 stray bytes
        {good + "x", 6 + good.size()},
        {good + "xyz", 6 + good.size()},
        {std::string("\x00\x00\x01\x02\x03nul-missing", 16), 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.records));
        DestroyBoard();
        Hold(Frame(2, Record(1, 3, 4, 5, "old")));
        ASSERT_EQ(Decode(), WireOutcome::Done);
        std::remove(kLogFileName);

        const std::string frame = Frame(2, c.records);
        Hold(frame);
        EXPECT_EQ(Decode(), WireOutcome::BadRecords);
        EXPECT_FALSE(link.connected);
        EXPECT_EQ(Cell(0, 0).Text, "");
        EXPECT_EQ(Cell(1, 3).Text, "old");
        const std::string expected = Format("frame Err, pos=%zu, packLen=%d", c.pos, int(frame.size() - 4));
        EXPECT_EQ(LogMessages(), std::vector<std::string>{expected});
        link.connected = true;
    }
}

TEST_F(ProtocolTest, RecordsApplyInOrderAndKeepOtherCells)
{
    Hold(Frame(3, Record(0, 1, 2, 3, "a") + Record(1, 1, 2, 3, "b")));
    ASSERT_EQ(Decode(), WireOutcome::Done);
    {
        BoardLock lock(CurBoard->Lock);
        Cell(0, 1).Changed = false;
    }
    // Same count: only the named cells change; a later record for a cell wins; out-of-range colour
    // indexes keep that colour; records outside the board are skipped; an empty text is stored.
    Hold(Frame(3, Record(1, 1, 16, 4, "first") + Record(1, 1, -1, 12, "second") + Record(3, 0, 1, 1, "off") +
                      Record(0, 8, 1, 1, "off") + Record(-2, 0, 1, 1, "off") + Record(2, 7, 1, 1, "") +
                      Record(-1, 9, 1, 1, "sum")));
    ASSERT_EQ(Decode(), WireOutcome::Done);
    EXPECT_EQ(Cell(0, 1).Text, "a");
    EXPECT_FALSE(Cell(0, 1).Changed);
    EXPECT_EQ(Cell(1, 1).Text, "second");
    EXPECT_EQ(Cell(1, 1).ForeColor, LinePalette[2]);
    EXPECT_EQ(Cell(1, 1).BackColor, LinePalette[4]);
    EXPECT_EQ(Cell(2, 7).Text, "");
    EXPECT_TRUE(Cell(2, 7).Changed);
    EXPECT_EQ(Cell(2, 7).ForeColor, LinePalette[1]);
    EXPECT_EQ(Cell(0, 0).Text, "");
    std::vector<std::string> expected = {"layout:3", "summary:sum"};
    EXPECT_EQ(view.calls(), expected);
}

TEST_F(ProtocolTest, ChangedLineCountReplacesTheBoard)
{
    Hold(Frame(3, Record(0, 1, 2, 3, "a")));
    ASSERT_EQ(Decode(), WireOutcome::Done);
    Hold(Frame(5, Record(4, 1, 2, 3, "b")));
    ASSERT_EQ(Decode(), WireOutcome::Done);
    EXPECT_EQ(CurBoard->LineCount, 5);
    EXPECT_EQ(Cell(0, 1).Text, "");
    // A count of 0 makes a board of one line, which never matches 0: every such answer replaces it.
    Hold(std::string("0002\0\0", 6) + std::string("0002\0\0", 6));
    ASSERT_EQ(Decode(), WireOutcome::Done);
    ASSERT_EQ(Decode(), WireOutcome::Done);
    EXPECT_EQ(CurBoard->LineCount, 1);
    std::vector<std::string> expected = {"layout:3", "layout:5", "layout:1", "layout:1"};
    EXPECT_EQ(view.calls(), expected);
}

TEST_F(ProtocolTest, TextsOfEveryLengthEndAtTheirOwnZero)
{
    // GBK bytes (0x80 and above) next to the terminating 0, at every offset within eight bytes.
    std::string records;
    std::vector<std::string> texts;
    for (int n = 0; n <= 24; ++n) {
        std::string text;
        for (int k = 0; k < n; ++k)
            text += char(k % 2 ? 0xFF : 0x81 + k);
        texts.push_back(text);
        records += Record(n, 0, 1, 2, text);
    }
    Hold(Frame(25, records, false));
    ASSERT_EQ(Decode(), WireOutcome::Done);
    for (int n = 0; n <= 24; ++n)
        EXPECT_EQ(Cell(n, 0).Text, texts[size_t(n)]) << n;

    for (int n = 1; n <= 17; ++n) {
        SCOPED_TRACE(n);
        const std::string frame = Frame(
            25, Record(0, 0, 1, 2, "ok") + std::string("\x01\x00\x01\x02\x03", 5) + std::string(size_t(n), '\xB0'),
            false);
        Hold(frame);
        link.connected = true;
        EXPECT_EQ(Decode(), WireOutcome::BadRecords);
        EXPECT_FALSE(link.connected);
    }
}

TEST_F(ProtocolTest, TwoFramesHeldAreDecodedOneByOne)
{
    const std::string first = Frame(1, Record(-1, 0, 0, 0, "one"));
    const std::string second = Frame(1, Record(-1, 0, 0, 0, "two"), false);
    Hold(first + second + "00");
    ASSERT_EQ(Decode(), WireOutcome::Done);
    EXPECT_EQ(Held(), second + "00");
    ASSERT_EQ(Decode(), WireOutcome::Done);
    EXPECT_EQ(Held(), "00");
    EXPECT_EQ(Decode(), WireOutcome::Incomplete);
    std::vector<std::string> expected = {"layout:1", "summary:one", "summary:two"};
    EXPECT_EQ(view.calls(), expected);
}

TEST_F(ProtocolTest, SendPollSendsTheFiveBytesOrDropsTheLink)
{
    LoopbackServer listener;
    link.linkSocket = listener.Connect();
    ASSERT_NE(link.linkSocket, kNoSocket);
    Peer server = listener.Accept(1s);
    EXPECT_EQ(SendPoll(link), WireOutcome::Done);
    EXPECT_EQ(server.Read(6, 100ms), "00011");

    server.Reset();
    ASSERT_EQ(WaitReadable(link.linkSocket, kNoWake, 2000), 1); // the reset has arrived
    EXPECT_EQ(SendPoll(link), WireOutcome::SendFailed);
    EXPECT_FALSE(link.connected);
    const std::string failed = Format("send()<5 Err, len=-1, errNo=%d[0x%x]", kConnectionReset, kConnectionReset);
    EXPECT_EQ(LogMessages(), std::vector<std::string>{failed});

    EXPECT_EQ(SendPoll(link), WireOutcome::NotConnected);
    EXPECT_EQ(LogMessages().size(), 1u);
}

} // namespace
