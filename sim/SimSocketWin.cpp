#include "sim/SimSocket.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>

namespace {

// Winsock cannot wait on anything the console handler could signal, so the server's wait is cut
// into slices of this length and the flag is looked at between them.
constexpr int kStopCheckMs = 100;

std::atomic<bool> stopRequested{false};

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        stopRequested = true;
        return TRUE;
    default:
        return FALSE;
    }
}

int ClampLength(size_t length)
{
    return static_cast<int>(std::min<size_t>(length, INT_MAX));
}

} // namespace

SimSocketLibrary::SimSocketLibrary()
{
    WSADATA data;
    const int rc = WSAStartup(MAKEWORD(2, 2), &data);
    ok_ = rc == 0;
    if (!ok_) {
        std::fprintf(stderr, "quorvane-sim: cannot start Winsock: %s\n", SimErrorText(rc).c_str());
    }
}

SimSocketLibrary::~SimSocketLibrary()
{
    if (ok_) {
        WSACleanup();
    }
}

SimSocket SimOpenStream(int family)
{
    return socket(family, SOCK_STREAM, IPPROTO_TCP);
}

SimSocket SimAccept(SimSocket listener, sockaddr_storage& from)
{
    socklen_t len = sizeof from;
    return accept(listener, reinterpret_cast<sockaddr*>(&from), &len);
}

bool SimSetNonBlocking(SimSocket s)
{
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}

bool SimSetOption(SimSocket s, int level, int name, int value)
{
    return setsockopt(s, level, name, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

bool SimAllowRebind(SimSocket)
{
    // Windows binds a port whose old connections linger without being asked; SO_REUSEADDR there
    // would also let another program take over a port in use.
    return true;
}

long SimRecv(SimSocket s, char* buffer, size_t length)
{
    return recv(s, buffer, ClampLength(length), 0);
}

long SimSend(SimSocket s, const char* bytes, size_t length)
{
    return send(s, bytes, ClampLength(length), 0);
}

void SimShutdownWrite(SimSocket s)
{
    shutdown(s, SD_SEND);
}

void SimClose(SimSocket s)
{
    closesocket(s);
}

int SimPoll(std::vector<pollfd>& fds, int timeoutMs)
{
    return WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs);
}

int SimLastError()
{
    return WSAGetLastError();
}

bool SimInterrupted(int error)
{
    return error == WSAEINTR;
}

bool SimRetryLater(int error)
{
    return error == WSAEWOULDBLOCK || error == WSAEINTR;
}

bool SimAcceptAborted(int error)
{
    // Winsock reports a connection reset before accept() took it as WSAECONNRESET.
    return error == WSAECONNRESET || error == WSAECONNABORTED;
}

std::string SimErrorText(int error)
{
    char text[512] = "";
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                   static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
    std::string message(text, n);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == '.' || message.back() == ' ')) {
        message.pop_back();
    }
    const std::string code = "error " + std::to_string(error);
    return message.empty() ? code : message + " (" + code + ")";
}

bool SimStopRequest::Install()
{
    stopRequested = false;
    if (!SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
        std::fprintf(stderr, "quorvane-sim: cannot catch Ctrl+C: %s\n",
                     SimErrorText(static_cast<int>(GetLastError())).c_str());
        return false;
    }
    installed_ = true;
    return true;
}

SimStopRequest::~SimStopRequest()
{
    if (installed_) {
        SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    }
}

void SimStopRequest::Watch(std::vector<pollfd>&) {}

bool SimStopRequest::Requested(const std::vector<pollfd>&) const
{
    return stopRequested;
}

int SimStopRequest::LimitWait(int timeoutMs) const
{
    return timeoutMs < 0 ? kStopCheckMs : std::min(timeoutMs, kStopCheckMs);
}
