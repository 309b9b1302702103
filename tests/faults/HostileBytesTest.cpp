// Hostile bytes from a server played by the test: each must be rejected cleanly, with its exact log
// line (or none where none is due), followed by a reconnection and a board that the next server
// fills correctly; or, where the bytes are a valid frame however they arrive, decoded correctly.

#include "FaultSupport.h"
#include "board/Board.h"
#include "common/Texts.h"
#include "link/Link.h"
#include "settings/EventLog.h"
#include "support/Frames.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <regex>
#include <thread>

using namespace std::chrono_literals;

namespace {

std::string Repeat(const std::string& unit, size_t count)
{
    std::string s;
    for (size_t i = 0; i < count; ++i)
        s += unit;
    return s;
}

// A frame of exactly 30000 bytes, filling the receive buffer to its last byte; its last record
// writes lastText into line 2047, column 7.
std::string BufferFillingFrame(std::string& lastText)
{
    std::string records;
    for (int line = 0; records.size() < 29900; line = (line + 1) % 2048)
        records += Record(line, 1, 2, 3, "0123456789");
    lastText.assign(kRecvBufSize - 6 - records.size() - 6, 'z');
    records += Record(2047, 7, 4, 5, lastText);
    return Frame(2048, records, false);
}

struct Hostile {
    const char* name;
    std::string bytes;
    bool trickle;    // one byte per send, 1 ms apart
    const char* log; // pattern of the one log line due; "" none; nullptr: a valid frame, decoded
    int line;        // a valid frame writes text into this cell
    int column;
    std::string text;
};

Hostile Rejected(const char* name, std::string bytes, bool trickle, const char* log)
{
    return {name, std::move(bytes), trickle, log, 0, 0, std::string()};
}

Hostile Decoded(const char* name, std::string bytes, bool trickle, int line, int column, std::string text)
{
    return {name, std::move(bytes), trickle, nullptr, line, column, std::move(text)};
}

std::vector<Hostile> Cases()
{
    const std::string noNul = std::string("\x00\x00\x01\x02\x03", 5) + "text-without-its-nul";
    std::string lastText;
    const std::string filling = BufferFillingFrame(lastText);
    return {
        Rejected("garbage", std::string("0001\xFFgarbage\x7F\x80\xFE", 16), false,
                 R"(packLen Err, packLen=1, size=16)"),
        Rejected("garbage trickled", std::string("0001\xFFgarbage\x7F\x80\xFE", 16), true,
                 R"(packLen Err, packLen=1, size=([5-9]|1[0-6]))"),
        Rejected("junk read as a negative length", Repeat("\xDE\xAD\xBE\xEF", 16), false,
                 R"(packLen Err, packLen=-272716322, size=64)"),
        Rejected("length one past the buffer", Binary32(kRecvBufSize - 3) + std::string(100, 'x'), false,
                 R"(packLen Err, packLen=29997, size=104)"),
        Rejected("largest length", Binary32(0x7FFFFFFF) + "x", false, R"(packLen Err, packLen=2147483647, size=5)"),
        Rejected("negative length", Binary32(0xFFFFFFFF) + "x", false, R"(packLen Err, packLen=-1, size=5)"),
        Rejected("negative length trickled", Binary32(0xFFFFFFFF) + "x", true, R"(packLen Err, packLen=-1, size=5)"),
        Rejected("most negative length", Binary32(0x80000000) + "x", false,
                 R"(packLen Err, packLen=-2147483648, size=5)"),
        Rejected("zero length", std::string("0000\x00\x00", 6), false, R"(packLen Err, packLen=0, size=6)"),
        Rejected("line count 2049", Frame(2049, Record(0, 0, 1, 2, "x")), false, ""),
        Rejected("line count -1", Frame(-1, Record(0, 0, 1, 2, "x")), false, ""),
        Rejected("line count 2049 trickled", Frame(2049, Record(0, 0, 1, 2, "x")), true, ""),
        Rejected("text without its nul", Frame(2, noNul), false, R"(frame Err, pos=6, packLen=27)"),
        Rejected("stray bytes after the last record", Frame(2, Record(0, 0, 1, 2, "ok") + "xyz"), false,
                 R"(frame Err, pos=14, packLen=13)"),
        Decoded("valid frame trickled", Frame(3, Record(2, 6, 1, 2, "trickled")), true, 2, 6, "trickled"),
        Decoded("valid frame filling the buffer", filling, false, 2047, 7, lastText),
        Decoded("valid frame of 2048 lines, binary length", Frame(2048, Record(2047, 0, 1, 2, "last"), false), false,
                2047, 0, "last"),
    };
}

std::string CellText(int line, int column)
{
    BoardLock boardLock(CurBoardLock);
    if (!CurBoard || line >= CurBoard->LineCount)
        return "<none>";
    BoardLock cellLock(CurBoard->Lock);
    return CurBoard->Rows[size_t(line)].Cols[column].Text;
}

void SendAll(Peer& peer, const std::string& bytes, bool trickle)
{
    if (!trickle) {
        ASSERT_TRUE(peer.Send(bytes));
        return;
    }
    for (char c : bytes) {
        ASSERT_TRUE(peer.Send(std::string(1, c)));
        std::this_thread::sleep_for(1ms);
    }
}

TEST(HostileBytes, RejectedWithTheirLogLineAndRepairedByAReconnectionOrDecoded)
{
    size_t thrown = 0;
    for (const Hostile& c : Cases()) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        CountingView view;
        MessageRecorder boxes;
        LoopbackServer server;
        SharedConfig config;
        config.Set(LoopbackRunCfg(server.port(), 0));
        auto link = std::make_unique<TagTcpConnection>(config, FaultTiming());
        Peer peer = server.Accept();
        ASSERT_EQ(peer.Read(5), "00011");
        link->StartWorker();

        SendAll(peer, c.bytes, c.trickle);
        thrown += c.bytes.size();
        if (!c.log) {
            // Decoded: the next poll comes on the same connection.
            EXPECT_EQ(peer.Read(5), "00011");
            EXPECT_EQ(CellText(c.line, c.column), c.text);
            EXPECT_TRUE(LogMessages().empty());
            EXPECT_EQ(view.linkDowns, 0);
        } else {
            Peer again = server.Accept();
            ASSERT_TRUE(again.valid()) << "no reconnection";
            EXPECT_EQ(again.Read(5), "00011");
            EXPECT_TRUE(peer.WaitClosed(1s));
            ASSERT_TRUE(again.Send(Frame(3, Record(2, 6, 1, 2, "after"))));
            EXPECT_TRUE(WaitFor([] { return CellText(2, 6) == "after"; }));
            const std::vector<std::string> log = LogMessages();
            const size_t due = *c.log ? 1 : 0;
            ASSERT_EQ(log.size(), due + 1) << testing::PrintToString(log);
            if (due) {
                EXPECT_TRUE(std::regex_match(log[0], std::regex(c.log))) << log[0];
            }
            EXPECT_EQ(log.back(), Texts::kReconnected);
        }
        EXPECT_TRUE(boxes.messages().empty());
        link.reset();
        DestroyBoard();
    }
    std::printf("hostile inputs: %zu cases, %zu bytes thrown\n", Cases().size(), thrown);
}

} // namespace
