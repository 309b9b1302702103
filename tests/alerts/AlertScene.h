#pragma once
// A board, a link and a clock for the alerts' tests: every moment is set by the test.

#include "alerts/AlertCenter.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

using namespace std::chrono_literals;

// The moment a scene starts; far from the clock's epoch so that moments before it exist.
inline const BoardTime kT0 = BoardTime{} + std::chrono::hours(24);

// Boards read this clock at their construction.
BoardTime SceneClock();

class AlertScene {
public:
    AlertScene();
    ~AlertScene();

    BoardTime now = kT0;
    TagLinkSample link;
    std::unique_ptr<TagMonitor> board;

    // A board of lines lines made now (replacing the one there was); every line shows text, written
    // now, unless text is null.
    void MakeBoard(int lines, const char* text = nullptr);
    // Writes text into line's status cell now.
    void Set(int line, const char* text);
    void SetAll(const char* text);
    // The link goes down; comes up (an answer then arrives with the next Answer()).
    void LinkDown();
    void LinkUp();
    void Answer();
    // A new session: a new link object.
    void NewSession();

    // Samples the board (when there is one) for the book's statuses, evaluates the book at now.
    void Evaluate(TAlertBook& book);
    // The same for a center.
    void Tick(TAlertCenter& center);

private:
    int session_ = 0;
    std::vector<std::unique_ptr<int>> sessions_;
    TagBoardSample sample_;
};

// A rule from store-like keys; fails the test when they are invalid.
TagAlertRule Rule(const std::string& name, const std::string& kind, const std::string& status, int seconds,
                  int count = 0, const std::string& severity = "warning");

// Records what a center asks of the desktop.
struct RecordingNotifier : AlertNotifier {
    struct Call {
        bool show;
        int key;
        TagNoticeText text;
    };
    TagNotifierCaps Capabilities() const override { return {true, true, true}; }
    void Show(int key, const TagNoticeText& text) override { calls.push_back({true, key, text}); }
    void Close(int key) override { calls.push_back({false, key, {}}); }
    int Shows() const;
    int Closes() const;
    std::vector<Call> calls;
};

// GbkToUtf8, as the GUI's decoder would do.
std::string DecodeForTest(std::string_view gbk);

// Collects WriteLog's messages for the object's life.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    // A copy: the link's worker may write to the log while a test reads it.
    std::vector<std::string> Messages() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
};
