#pragma once
// The program's fixed texts that exist in Chinese, as GBK bytes: they are kept, logged and sent in
// that code page and decoded only where a widget shows them. Hex escapes are split ("\xA2" "1")
// where a hex digit follows, or the compiler would read it as part of the escape.

namespace Texts {

// Link state in the bottom panel; each ends in the blank that separates it from the address.
inline constexpr char kLinkUpEn[] = "Conneted, OK. ";
inline constexpr char kLinkDownEn[] = "Disconneted! ";
inline constexpr char kLinkUpZh[] = "\xD2\xD1\xC1\xAA\xCD\xA8, "; // 已联通,
inline constexpr char kLinkDownZh[] = "\xB2\xBB\xCD\xA8! ";       // 不通!

// Default titles of the three user columns.
inline constexpr char kTitle1Zh[] = "\xD3\xC3\xBB\xA7\xCF\xFB\xCF\xA2"
                                    "1"; // 用户消息1
inline constexpr char kTitle2Zh[] = "\xD3\xC3\xBB\xA7\xCF\xFB\xCF\xA2"
                                    "2"; // 用户消息2
inline constexpr char kTitle3Zh[] = "\xD3\xC3\xBB\xA7\xCF\xFB\xCF\xA2"
                                    "3"; // 用户消息3

// Grid headers of the first five columns of every line group.
inline constexpr const char* kHeadersEn[5] = {"Line", "Script File", "Status", "Keys", "Run Info"};
inline constexpr const char* kHeadersZh[5] = {
    "\xCF\xDF\xC2\xB7",                 // 线路
    "\xBD\xC5\xB1\xBE\xCE\xC4\xBC\xFE", // 脚本文件
    "\xD7\xB4\xCC\xAC",                 // 状态
    "\xB5\xB1\xC7\xB0\xB0\xB4\xBC\xFC", // 当前按键
    "\xD4\xCB\xD0\xD0\xD0\xC5\xCF\xA2", // 运行信息
};

// The first connect failed (printf formats: address, port).
inline constexpr char kConnectFailedEn[] = "Connect to '%s:%d' failed, Checking network or CTI Server.";
inline constexpr char kConnectFailedZh[] = // 连接到'%s:%d'不成功，网络不通或CTI服务器没有启动
    "\xC1\xAC\xBD\xD3\xB5\xBD'%s:%d'\xB2\xBB\xB3\xC9\xB9\xA6\xA3\xAC\xCD\xF8\xC2\xE7\xB2\xBB\xCD\xA8\xBB\xF2"
    "CTI\xB7\xFE\xCE\xF1\xC6\xF7\xC3\xBB\xD3\xD0\xC6\xF4\xB6\xAF";
inline constexpr char kConnectCaption[] = "TCP/IP";

// Reconnection outcomes; always Chinese, whatever the language setting.
inline constexpr char kReconnectFailed[] = "\xD6\xD8\xD0\xC2\xC1\xAC\xBD\xD3\xB2\xBB\xC9\xCF."; // 重新连接不上.
inline constexpr char kReconnected[] = "\xD2\xD1\xBE\xAD\xD6\xD8\xD0\xC2\xC1\xAC\xBD\xD3\xC9\xCF."; // 已经重新连接上.

// Follows the link-up text and the address while the poll sent has had no complete answer for a
// while (printf format: the seconds waited so far).
inline constexpr char kNoAnswerEn[] = " (no answer for %d s)";
inline constexpr char kNoAnswerZh[] = "\xA3\xA8%d \xC3\xEB\xCE\xDE\xD3\xA6\xB4\xF0\xA3\xA9"; // （%d 秒无应答）
// Monitor.log, once when an answer becomes overdue (printf format: the seconds that make it so).
inline constexpr char kNoAnswerLog[] = "no answer for %d s";

// Window captions and the application title (the widgets hold these as Unicode, UTF-8 here).
inline constexpr char kCaptionZhUtf8[] =
    "Halverdon\xE8\xAF\xAD\xE9\x9F\xB3\xE5\xB9\xB3\xE5\x8F\xB0 "
    "\xE8\xBF\x90\xE8\xA1\x8C\xE7\x9B\x91\xE6\x8E\xA7"; // Halverdon语音平台 运行监控
inline constexpr char kCaptionEn[] = "Zandoral Platform Monitor";
inline constexpr char kAppTitle[] = "Halverdon Telephony Platform Monitor";

} // namespace Texts
