#include "common/MonitorView.h"

#include <cstdio>
#include <mutex>

MonitorView* CurView = nullptr;

namespace {
std::mutex handlerLock;
MessageHandler messageHandler;
} // namespace

void SetMessageHandler(MessageHandler handler)
{
    std::lock_guard lock(handlerLock);
    messageHandler = std::move(handler);
}

void ShowMessage(const TagMessage& message)
{
    MessageHandler handler;
    {
        std::lock_guard lock(handlerLock);
        handler = messageHandler;
    }
    if (handler) {
        handler(message);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", message.caption.c_str(), message.text.c_str());
}
