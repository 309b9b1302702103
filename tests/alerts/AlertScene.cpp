#include "AlertScene.h"

#include "platform/Utf8.h"
#include "settings/EventLog.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
BoardTime sceneNow = kT0;
} // namespace

BoardTime SceneClock()
{
    return sceneNow;
}

AlertScene::AlertScene()
{
    NewSession();
    Answer();
}

AlertScene::~AlertScene() = default;

void AlertScene::MakeBoard(int lines, const char* text)
{
    sceneNow = now;
    board = std::make_unique<TagMonitor>(lines, &SceneClock);
    if (text)
        SetAll(text);
}

void AlertScene::Set(int line, const char* text)
{
    BoardLock lock(board->Lock);
    board->SetCell(text, std::strlen(text), line, 2, 0, 0, now);
}

void AlertScene::SetAll(const char* text)
{
    for (int line = 0; line < board->LineCount; ++line)
        Set(line, text);
}

void AlertScene::LinkDown()
{
    link.Connected = false;
    link.OverdueSince.reset();
}

void AlertScene::LinkUp()
{
    link.Connected = true;
}

void AlertScene::Answer()
{
    link.LastAnswerAt = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    link.OverdueSince.reset();
}

void AlertScene::NewSession()
{
    sessions_.push_back(std::make_unique<int>(++session_));
    link.Session = sessions_.back().get();
    link.Connected = true;
    link.LastAnswerAt = 0;
}

void AlertScene::Evaluate(TAlertBook& book)
{
    if (board) {
        BoardLock lock(board->Lock);
        SampleBoard(*board, book.Statuses(), sample_);
    }
    book.Evaluate(board ? &sample_ : nullptr, link, now);
}

void AlertScene::Tick(TAlertCenter& center)
{
    if (board) {
        BoardLock lock(board->Lock);
        SampleBoard(*board, center.Statuses(), center.BoardSample());
    }
    center.Tick(board != nullptr, link, now);
}

TagAlertRule Rule(const std::string& name, const std::string& kind, const std::string& status, int seconds, int count,
                  const std::string& severity)
{
    AlertRuleKeys keys{{"name", name},
                       {"kind", kind},
                       {"status", status},
                       {"seconds", std::to_string(seconds)},
                       {"count", std::to_string(count)},
                       {"severity", severity},
                       {"enabled", "true"}};
    TagRuleEntry entry = ParseAlertRule(keys);
    EXPECT_TRUE(entry.Rule) << name << ": " << entry.Error;
    return entry.Rule.value_or(TagAlertRule{});
}

int RecordingNotifier::Shows() const
{
    int n = 0;
    for (const Call& call : calls)
        n += call.show ? 1 : 0;
    return n;
}

int RecordingNotifier::Closes() const
{
    return int(calls.size()) - Shows();
}

std::string DecodeForTest(std::string_view gbk)
{
    return GbkToUtf8(gbk);
}

LogCapture::LogCapture()
{
    SetLogSink([this](const char* message) {
        std::lock_guard lock(mutex_);
        messages_.emplace_back(message);
    });
}

std::vector<std::string> LogCapture::Messages() const
{
    std::lock_guard lock(mutex_);
    return messages_;
}

LogCapture::~LogCapture()
{
    SetLogSink(nullptr);
}
