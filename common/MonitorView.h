#pragma once
// What the core asks of the screen. The core never includes Qt; the main window implements this
// interface and the tests fake it.

#include <functional>
#include <string>

struct TagMonitor;
class WakeFlag;

enum class MsgIcon { None, Error };

// A modal message box with no owner window. Texts are 8-bit (GBK where Chinese); an empty
// caption means the platform's default title.
struct TagMessage {
    std::string text;
    std::string caption;
    MsgIcon icon = MsgIcon::None;
};

class MonitorView {
public:
    virtual ~MonitorView() = default;

    // Both may be called from the receive worker. They are carried out on the GUI thread, in the
    // order of the calls, and dropped when the session that made them has ended meanwhile.
    virtual void ShowLinkState(bool connected) = 0;
    virtual void SetSummaryText(const std::string& gbk) = 0;

    // Lays the grid out for board on the GUI thread while the caller waits. Gives up and returns
    // false, leaving board untouched, once stop is set: the GUI thread may itself be waiting for
    // the caller to end.
    virtual bool LayoutGrid(TagMonitor& board, WakeFlag& stop) = 0;
};

// The view of the running program; null when there is none (then nothing is shown).
extern MonitorView* CurView;

// Shows a modal message box and returns when the operator has closed it. The GUI installs the
// handler at start-up; tests install a recorder. Without a handler the message goes to stderr.
using MessageHandler = std::function<void(const TagMessage&)>;
void SetMessageHandler(MessageHandler handler);
void ShowMessage(const TagMessage& message);
