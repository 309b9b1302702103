#include "probe/ProbeSession.h"

#include "board/Board.h"
#include "common/Texts.h"
#include "link/Protocol.h"
#include "link/Transport.h"
#include "platform/Utf8.h"
#include "settings/EventLog.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds Millis(double seconds)
{
    return std::chrono::milliseconds(std::max<long long>(1, std::llround(seconds * 1000)));
}

int MillisLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::clamp<long long>(left, 0, 3600 * 1000LL));
}

std::string SecondsText(double s)
{
    return Format("%g s", s);
}

} // namespace

ProbeSession::ProbeSession(TagRunCfg cfg, ProbeOptions options, const LinkTiming& timing,
                           std::function<void(std::string_view)> note)
    : cfg_(std::move(cfg)), options_(std::move(options)), note_(std::move(note)), link_(shared_, timing, NoConnect{}),
      previousView_(CurView)
{
    shared_.Set(cfg_);
    link_.connected = false;
    CurView = &view_;
    SetLogSink([this](const char* message) { log_ = message; });
    // What the link's constructor does before its first connect; its destructor undoes both.
    LinkRunning.Set();
    NetStartup();
}

ProbeSession::~ProbeSession()
{
    SetLogSink(nullptr);
    CurView = previousView_;
    DestroyBoard();
}

std::string ProbeSession::TakeLog()
{
    std::string message = GbkToUtf8(log_);
    log_.clear();
    return message;
}

ProbeRound ProbeSession::Fail(std::string reason)
{
    if (link_.connected) {
        // Whatever the server sends after a round that failed half-way belongs to no poll of ours.
        link_.connected = false;
    }
    if (!downSince_)
        downSince_ = Clock::now();
    pollPending_ = false;
    ProbeRound round;
    round.reason = std::move(reason);
    return round;
}

bool ProbeSession::Connect(Clock::time_point deadline, std::string& reason)
{
    const std::string where = cfg_.ServerIp + ":" + std::to_string(cfg_.ServerPort);
    const auto budget = std::chrono::milliseconds(MillisLeft(deadline));
    const int result = TimedConnect(link_, cfg_.ServerIp.c_str(), cfg_.ServerPort, budget);
    if (result != 0) {
        if (everConnected_)
            note_(GbkToUtf8(Texts::kReconnectFailed));
        const char* why = result == kHostNotResolved   ? "host not found"
                          : result == kNoSocketCreated ? "no socket could be created"
                          : result == kConnectTimedOut ? nullptr
                                                       : "the connect failed";
        reason = "cannot connect to " + where + ": " +
                 (why ? std::string(why) : "no connection within " + SecondsText(options_.timeoutSec));
        return false;
    }
    if (everConnected_)
        note_(GbkToUtf8(Texts::kReconnected));
    everConnected_ = true;
    // As after every connect of the worker: nothing held from the last connection counts.
    link_.size = 0;
    link_.connected = true;
    pollPending_ = false;
    downSince_.reset();
    return true;
}

bool ProbeSession::BoardComplete() const
{
    if (!CurBoard)
        return false;
    BoardLock lock(CurBoard->Lock);
    for (int i = 0; i < CurBoard->LineCount; ++i) {
        for (const TagLineCols& cell : CurBoard->Rows[size_t(i)].Cols) {
            if (!cell.Changed)
                return false;
        }
    }
    return true;
}

ProbeRound ProbeSession::Round()
{
    if (!link_.connected && downSince_) {
        // The monitor waits this long before it connects again; a probe must not be harder on a
        // server that has just dropped it.
        const auto pause = link_.timing.reconnectPause * link_.timing.reconnectPauses;
        std::this_thread::sleep_until(*downSince_ + pause);
    }
    const Clock::time_point roundEnd = Clock::now() + Millis(options_.timeoutSec);
    if (!link_.connected) {
        std::string reason;
        if (!Connect(roundEnd, reason))
            return Fail(reason);
    }

    int answers = 0;
    double slowest = 0;
    for (;;) {
        if (!pollPending_) {
            TakeLog();
            if (SendPoll(link_) != WireOutcome::Done)
                return Fail("cannot send the poll: " + TakeLog());
            pollAt_ = Clock::now();
            pollPending_ = true;
        }
        bool timedOut = false;
        while (!FrameReady(link_)) {
            const int left = MillisLeft(roundEnd);
            if (left <= 0) {
                timedOut = true;
                break;
            }
            const int ready = WaitReadable(link_.linkSocket, kNoWake, left);
            if (ready < 0) {
                WriteLog(Format("IsRemoteAns()<0, n=%d", ready));
                return Fail("waiting for the answer failed: " + TakeLog());
            }
            if (ready == 0)
                continue;
            // FrameReady hands on a frame that can never fit, so there is always room here.
            const int room = std::min(kMaxRead, kRecvBufSize - link_.size);
            const long len = NetRecv(link_.linkSocket, link_.recvBuf + link_.size, size_t(room));
            if (len <= 0) {
                const int err = NetLastError();
                WriteLog(Format("recv()<=0, len=%d, errNo=%d[0x%x]", int(len), err, unsigned(err)));
                return Fail((len == 0 ? "the server closed the connection: " : "reading the answer failed: ") +
                            TakeLog());
            }
            link_.size += int32_t(len);
        }
        if (timedOut) {
            if (answers > 0)
                break; // the board as far as it came
            std::string reason = "no complete answer within " + SecondsText(options_.timeoutSec);
            if (link_.size > 0)
                reason += Format(" (%d bytes of one arrived)", int(link_.size));
            // The answer may still come; it would be taken for the next poll's.
            return Fail(reason);
        }

        // A server with no lines is as whole as it gets at once: its board of one empty line would
        // otherwise be waited for until the time-out (and replaced by every answer).
        const bool noLines = link_.size >= 6 && link_.recvBuf[4] == 0 && link_.recvBuf[5] == 0;
        TakeLog();
        const WireOutcome outcome = ParseFrame(link_);
        if (outcome != WireOutcome::Done) {
            // The monitor logs nothing for a line count out of range; the frame is still held.
            std::string logged = TakeLog();
            if (outcome == WireOutcome::BadLineCount && link_.size >= 6)
                logged = Format("line count %d outside 0 to %d", int(int16_t(link_.recvBuf[4] | link_.recvBuf[5] << 8)),
                                kMaxLines);
            return Fail("the server's answer was refused: " + logged);
        }
        pollPending_ = false;
        ++answers;
        slowest = std::max(slowest, std::chrono::duration<double>(Clock::now() - pollAt_).count());
        if (noLines || BoardComplete() || (options_.polls > 0 && answers >= options_.polls) || Clock::now() >= roundEnd)
            break;
    }

    ProbeRound round;
    round.ok = true;
    {
        BoardLock lock(CurBoard->Lock);
        round.board = TakeSnapshot(*CurBoard, cfg_, view_.summary, options_.column, CsvClockNow(*CurBoard));
    }
    round.board.answers = answers;
    round.board.answerSeconds = slowest;
    return round;
}
