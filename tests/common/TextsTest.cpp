#include "common/Texts.h"
#include "platform/GbkText.h"
#include "platform/Utf8.h"

#include <gtest/gtest.h>

namespace {

TEST(TextsTest, GbkLiteralsDecodeToTheirCharacters)
{
    struct {
        const char* gbk;
        const char* utf8;
    } cases[] = {
        {Texts::kLinkUpZh, "已联通, "},
        {Texts::kLinkDownZh, "不通! "},
        {Texts::kTitle1Zh, "用户消息1"},
        {Texts::kTitle2Zh, "用户消息2"},
        {Texts::kTitle3Zh, "用户消息3"},
        {Texts::kHeadersZh[0], "线路"},
        {Texts::kHeadersZh[1], "脚本文件"},
        {Texts::kHeadersZh[2], "状态"},
        {Texts::kHeadersZh[3], "当前按键"},
        {Texts::kHeadersZh[4], "运行信息"},
        {Texts::kConnectFailedZh, "连接到'%s:%d'不成功，网络不通或CTI服务器没有启动"},
        {Texts::kReconnectFailed, "重新连接不上."},
        {Texts::kReconnected, "已经重新连接上."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GbkToUtf8(c.gbk), c.utf8);
    EXPECT_EQ(std::string(Texts::kCaptionZhUtf8), "Halverdon语音平台 运行监控");
}

TEST(TextsTest, GbkRoundTrip)
{
    const std::u16string text = u"空闲 Idle 通话中";
    EXPECT_EQ(GbkToUtf16(Utf16ToGbk(text)), text);
    EXPECT_EQ(Utf16ToGbk(u"状态"), std::string(Texts::kHeadersZh[2]));
}

} // namespace
