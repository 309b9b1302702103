#include "support/TestSupport.h"

#include "board/Board.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

ScratchDir::ScratchDir()
{
    previous_ = fs::current_path().string();
    std::string tmpl = (fs::temp_directory_path() / "quorvane-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data()))
        std::abort();
    path_ = tmpl;
    fs::current_path(path_);
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    fs::current_path(previous_, ec);
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string ReadFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& name, const std::string& bytes)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << bytes;
}

MessageRecorder::MessageRecorder()
{
    SetMessageHandler([this](const TagMessage& m) {
        std::lock_guard lock(mutex_);
        messages_.push_back(m);
    });
}

MessageRecorder::~MessageRecorder()
{
    SetMessageHandler(nullptr);
}

std::vector<TagMessage> MessageRecorder::messages() const
{
    std::lock_guard lock(mutex_);
    return messages_;
}

RecordingView::RecordingView() : previous_(CurView)
{
    CurView = this;
}

RecordingView::~RecordingView()
{
    CurView = previous_;
}

void RecordingView::ShowLinkState(bool connected)
{
    std::lock_guard lock(mutex_);
    calls_.push_back(connected ? "link up" : "link down");
}

void RecordingView::SetSummaryText(const std::string& gbk)
{
    std::lock_guard lock(mutex_);
    calls_.push_back("summary:" + gbk);
}

bool RecordingView::LayoutGrid(TagMonitor& board, WakeFlag&)
{
    std::lock_guard lock(mutex_);
    calls_.push_back("layout:" + std::to_string(board.LineCount));
    return true;
}

std::vector<std::string> RecordingView::calls() const
{
    std::lock_guard lock(mutex_);
    return calls_;
}
