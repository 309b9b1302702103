#include "AppTestSupport.h"

#include "settings/Config.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

RefusingPort::RefusingPort()
{
    socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        std::abort();
    port_ = ntohs(a.sin_port);
}

RefusingPort::~RefusingPort()
{
    ::close(socket_);
}

void WriteLoopbackConfig(int port, const std::string& extra)
{
    WriteFile(kConfigFileName, "SERVER_IP = 127.0.0.1\r\nSERVER_PORT = " + std::to_string(port) + "\r\n" + extra);
    CurConfig.Set(TagRunCfg());
    LoadConfig(CurConfig);
}

LinkTiming FastTiming()
{
    LinkTiming t;
    t.firstConnectTimeout = std::chrono::milliseconds(50);
    t.reconnectTimeout = std::chrono::milliseconds(50);
    t.connectStep = std::chrono::milliseconds(10);
    t.settlePause = std::chrono::milliseconds(1);
    t.reconnectPause = std::chrono::milliseconds(5);
    t.stopWait = std::chrono::milliseconds(2000);
    t.sleepUnit = std::chrono::milliseconds(5);
    return t;
}

void CloseStrayWindowsAfter(int milliseconds)
{
    QTimer::singleShot(milliseconds, [] {
        while (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        while (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
}
