#include "sim/SimFrame.h"
#include "sim/SimModel.h"
#include "sim/SimOptions.h"

#include "FrameDecoder.h"
#include "SimClient.h"
#include "support/SimProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <set>

using namespace std::chrono_literals;

namespace {

DecodedFrame Decode(const std::string& bytes)
{
    DecodedFrame frame;
    std::string why;
    EXPECT_TRUE(DecodeFrame(bytes, frame, &why)) << why;
    return frame;
}

// Polls once and returns the decoded answer; fails the test when none arrives.
DecodedFrame Poll(SimClient& client, std::string* raw = nullptr)
{
    std::string bytes;
    EXPECT_TRUE(client.SendPoll());
    EXPECT_EQ(client.ReadFrame(bytes), SimClient::Read::Frame);
    if (raw) {
        *raw = bytes;
    }
    return Decode(bytes);
}

TEST(SimLoopback, AnswersAPollWithTheWholeBoard)
{
    SimProcess sim({"--lines", "5", "--seed", "7"});
    ASSERT_TRUE(sim.running()) << sim.error();
    SimClient client(sim.port());
    ASSERT_TRUE(client.connected());
    std::string raw;
    const DecodedFrame frame = Poll(client, &raw);
    EXPECT_TRUE(frame.textLength);
    EXPECT_EQ(frame.lineCount, 5);
    std::set<std::pair<int, int>> cells;
    int summaries = 0;
    for (const DecodedRecord& r : frame.records) {
        if (r.line == -1) {
            ++summaries;
            EXPECT_EQ(r.text.rfind("Lines 5 | Idle ", 0), 0u) << r.text;
            continue;
        }
        ASSERT_GE(r.line, 0);
        ASSERT_LT(r.line, 5);
        ASSERT_GE(r.column, 0);
        ASSERT_LT(r.column, 8);
        EXPECT_TRUE(cells.insert({r.line, r.column}).second);
        if (r.column == 2) {
            const SimTexts& en = TextsFor(SimLanguage::En);
            int status = 0;
            while (status < kStatusCount && r.text != en.status[status]) {
                ++status;
            }
            ASSERT_LT(status, kStatusCount) << r.text;
            EXPECT_EQ(r.fore, kStatusStyles[status].fore);
            EXPECT_EQ(r.back, kStatusStyles[status].back);
        }
    }
    EXPECT_EQ(summaries, 1);
    EXPECT_EQ(cells.size(), 40u);
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
}

TEST(SimLoopback, BinaryLengthAndChineseTexts)
{
    SimProcess sim({"--lines", "3", "--length", "binary", "--language", "zh"});
    ASSERT_TRUE(sim.running()) << sim.error();
    SimClient client(sim.port());
    const DecodedFrame frame = Poll(client);
    EXPECT_FALSE(frame.textLength);
    ASSERT_FALSE(frame.records.empty());
    EXPECT_EQ(frame.records[0].line, -1);
    EXPECT_EQ(frame.records[0].text.rfind("\xCF\xDF\xC2\xB7 3", 0), 0u); // 线路 3
}

TEST(SimLoopback, BigBoardNeverExceedsTheBuffer)
{
    SimProcess sim({"--lines", "2048", "--change-rate", "0"});
    ASSERT_TRUE(sim.running()) << sim.error();
    SimClient client(sim.port());
    std::set<int> cells;
    for (int n = 0; n < 40 && cells.size() < 2048 * 8; ++n) {
        std::string raw;
        const DecodedFrame frame = Poll(client, &raw);
        ASSERT_LE(raw.size(), kMaxFrameBytes);
        ASSERT_EQ(frame.lineCount, 2048);
        for (const DecodedRecord& r : frame.records) {
            if (r.line >= 0) {
                ASSERT_TRUE(cells.insert(r.line * 8 + r.column).second);
            }
        }
    }
    EXPECT_EQ(cells.size(), 2048u * 8);
}

TEST(SimLoopback, SeveralClientsAtOnce)
{
    SimProcess sim({"--lines", "4"});
    ASSERT_TRUE(sim.running()) << sim.error();
    SimClient a(sim.port());
    SimClient b(sim.port());
    EXPECT_EQ(Poll(a).records.size(), 33u);
    EXPECT_EQ(Poll(b).records.size(), 33u);
    Poll(a);
    {
        // One that leaves is forgotten; the others go on.
        SimClient c(sim.port());
        EXPECT_EQ(Poll(c).records.size(), 33u);
    }
    EXPECT_EQ(Poll(b).lineCount, 4);
    EXPECT_EQ(Poll(a).lineCount, 4);
}

TEST(SimLoopback, CloseAfterAnswers)
{
    SimProcess sim({"--lines", "2", "--close-after", "2"});
    ASSERT_TRUE(sim.running()) << sim.error();
    SimClient client(sim.port());
    Poll(client);
    Poll(client);
    std::string bytes;
    client.SendPoll(); // may already fail: the server has shut its side
    EXPECT_EQ(client.ReadFrame(bytes), SimClient::Read::Closed);
    // The count is per connection.
    SimClient next(sim.port());
    EXPECT_EQ(Poll(next).lineCount, 2);
}

TEST(SimLoopback, CloseAfterZeroClosesAtOnce)
{
    SimProcess sim({"--close-after", "0"});
    ASSERT_TRUE(sim.running()) << sim.error();
    SimClient client(sim.port());
    std::string bytes;
    EXPECT_EQ(client.ReadFrame(bytes), SimClient::Read::Closed);
}

TEST(SimLoopback, ChunkedAnswerIsTheSameFrameInPieces)
{
    const std::vector<std::string> base = {"--lines", "3", "--seed", "5"};
    std::string whole;
    {
        SimProcess sim(base);
        ASSERT_TRUE(sim.running()) << sim.error();
        SimClient client(sim.port());
        Poll(client, &whole);
    }
    auto args = base;
    args.insert(args.end(), {"--chunk", "7"});
    SimProcess sim(args);
    ASSERT_TRUE(sim.running()) << sim.error();
    SimClient client(sim.port());
    std::string pieces;
    Poll(client, &pieces);
    EXPECT_EQ(pieces, whole);
    // The pieces leave at least the gap apart, so the frame takes that long from first to last byte.
    const size_t count = (whole.size() + 6) / 7;
    EXPECT_GE(client.lastByteAt - client.firstByteAt,
              std::chrono::milliseconds(kChunkGapMs) * static_cast<long>(count - 1));
}

TEST(SimLoopback, DelayedAnswer)
{
    SimProcess sim({"--lines", "1", "--delay-ms", "150"});
    ASSERT_TRUE(sim.running()) << sim.error();
    SimClient client(sim.port());
    const auto sent = std::chrono::steady_clock::now();
    Poll(client);
    EXPECT_GE(client.lastByteAt - sent, 150ms);
}

TEST(SimLoopback, GarbageAfterAnswers)
{
    SimProcess sim({"--lines", "2", "--garbage-after", "1"});
    ASSERT_TRUE(sim.running()) << sim.error();
    SimClient client(sim.port());
    Poll(client);
    ASSERT_TRUE(client.SendPoll());
    std::string bytes;
    ASSERT_EQ(client.ReadBytes(5, bytes), SimClient::Read::Frame);
    long long length = -1;
    EXPECT_EQ(CompleteFrameSize(bytes, &length), 5u);
    EXPECT_EQ(length, 1);
}

TEST(SimLoopback, OversizeAfterAnswers)
{
    SimProcess sim({"--lines", "2", "--oversize-after", "1"});
    ASSERT_TRUE(sim.running()) << sim.error();
    SimClient client(sim.port());
    std::string first;
    Poll(client, &first);
    EXPECT_LE(first.size(), kMaxFrameBytes);
    std::string second;
    const DecodedFrame frame = Poll(client, &second);
    EXPECT_GT(second.size(), kMaxFrameBytes);
    EXPECT_EQ(frame.lineCount, 2);
}

TEST(SimLoopback, StallAfterAnswers)
{
    SimProcess sim({"--lines", "2", "--stall-after", "1"});
    ASSERT_TRUE(sim.running()) << sim.error();
    SimClient client(sim.port());
    Poll(client);
    ASSERT_TRUE(client.SendPoll());
    std::string bytes;
    EXPECT_EQ(client.ReadFrame(bytes, 300ms), SimClient::Read::TimedOut);
    EXPECT_TRUE(client.SendPoll()); // still connected, still reading
}

TEST(SimLoopback, RequestsArriveInPiecesOrTogether)
{
    SimProcess sim({"--lines", "1"});
    ASSERT_TRUE(sim.running()) << sim.error();
    SimClient client(sim.port());
    ASSERT_TRUE(client.Send("000"));
    ASSERT_TRUE(client.Send("11"));
    std::string bytes;
    ASSERT_EQ(client.ReadFrame(bytes), SimClient::Read::Frame);
    ASSERT_TRUE(client.Send("0001100011"));
    EXPECT_EQ(client.ReadFrame(bytes), SimClient::Read::Frame);
    EXPECT_EQ(client.ReadFrame(bytes), SimClient::Read::Frame);
}

TEST(SimLoopback, AnythingButAPollEndsTheConnection)
{
    SimProcess sim({"--lines", "1"});
    ASSERT_TRUE(sim.running()) << sim.error();
    SimClient client(sim.port());
    ASSERT_TRUE(client.Send("HELLO"));
    std::string bytes;
    EXPECT_EQ(client.ReadFrame(bytes), SimClient::Read::Closed);
}

TEST(SimLoopback, SignalsEndItCleanly)
{
    for (int sig : {SIGTERM, SIGINT}) {
        SimProcess sim;
        ASSERT_TRUE(sim.Start(0, {})) << sim.error();
        SimClient client(sim.port());
        Poll(client);
        EXPECT_EQ(sim.Stop(sig), 0);
    }
}

TEST(SimLoopback, BadArgumentsExitWithStatusTwo)
{
    std::string out;
    std::string err;
    EXPECT_EQ(RunSimToEnd({"--lines", "5000"}, out, err), 2);
    EXPECT_TRUE(out.empty());
    EXPECT_NE(err.find("--lines needs a line count from 1 to 2048, not '5000'"), std::string::npos) << err;
    EXPECT_EQ(RunSimToEnd({"--frobnicate"}, out, err), 2);
    EXPECT_NE(err.find("unknown option"), std::string::npos) << err;
}

TEST(SimLoopback, HelpGoesToStandardOutput)
{
    std::string out;
    std::string err;
    EXPECT_EQ(RunSimToEnd({"--help"}, out, err), 0);
    EXPECT_NE(out.find("--close-after N"), std::string::npos);
    EXPECT_TRUE(err.empty());
}

TEST(SimLoopback, BusyPortIsAFailureNotABadArgument)
{
    SimProcess first;
    ASSERT_TRUE(first.Start(0, {})) << first.error();
    std::string out;
    std::string err;
    EXPECT_EQ(RunSimToEnd({"--port", std::to_string(first.port())}, out, err), 1);
    EXPECT_NE(err.find("cannot listen"), std::string::npos) << err;
}

} // namespace
