#pragma once
// The seam to the desktop's notifications. The core says what to show under which key; a backend
// (the session bus's notification server, the tray icon) shows it and reports back what the operator
// did there. All calls, and the callbacks, run on one thread (the GUI's).

#include "alerts/AlertText.h"

#include <functional>

// What the backend's server can do.
struct TagNotifierCaps {
    bool Actions = false; // an "Acknowledge" button on the notification
    bool Body = false;    // a body beside the title; without it the title carries the gist
    bool Replace = false; // a notification replaced in place, not closed and shown anew
};

class AlertNotifier {
public:
    virtual ~AlertNotifier() = default;

    virtual TagNotifierCaps Capabilities() const = 0;
    // Shows text under key; a key shown before is replaced.
    virtual void Show(int key, const TagNoticeText& text) = 0;
    virtual void Close(int key) = 0;

    // The operator chose "Acknowledge" on key's notification.
    std::function<void(int key)> Acknowledged;
    // key's notification left the screen without the program closing it (dismissed, expired).
    std::function<void(int key)> Closed;
};
