#include "support/TestSupport.h"

#include "board/Board.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

ScratchDir::ScratchDir()
{
    previous_ = fs::current_path().string();
    // create_directory fails on a name that exists, so a clash with another test process just
    // draws again (mkdtemp is not on every platform).
    std::random_device seed;
    std::mt19937_64 draw(seed());
    for (int attempt = 0; path_.empty(); ++attempt) {
        if (attempt == 100)
            std::abort();
        char name[40];
        std::snprintf(name, sizeof name, "quorvane-test-%016llx", static_cast<unsigned long long>(draw()));
        const fs::path candidate = fs::temp_directory_path() / name;
        std::error_code ec;
        if (fs::create_directory(candidate, ec))
            path_ = candidate.string();
    }
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
