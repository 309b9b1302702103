#pragma once
// Helpers shared by the tests: a scratch working directory, a recording view and message sink.

#include "app/MonitorView.h"

#include <mutex>
#include <string>
#include <vector>

// Creates a fresh temporary directory and makes it the working directory for the object's life:
// the program reads and writes its files by bare name.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

std::string ReadFile(const std::string& name);
void WriteFile(const std::string& name, const std::string& bytes);

// Records every message box instead of showing it; restores the previous handler on destruction.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    std::vector<TagMessage> messages() const;

private:
    mutable std::mutex mutex_;
    std::vector<TagMessage> messages_;
};

// A view that records the calls the core makes and lays nothing out. Installed as CurView.
class RecordingView : public MonitorView {
public:
    RecordingView();
    ~RecordingView() override;
    void ShowLinkState(bool connected) override;
    void SetSummaryText(const std::string& gbk) override;
    bool LayoutGrid(TagMonitor& board, WakeFlag& stop) override;

    std::vector<std::string> calls() const; // "link up", "link down", "summary:<text>", "layout:<n>"

private:
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    MonitorView* previous_;
};
