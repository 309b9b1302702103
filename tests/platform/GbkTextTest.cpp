#include "platform/GbkText.h"
#include "common/Texts.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

constexpr char16_t R = 0xFFFD;

struct DecodeCase {
    std::string gbk;
    std::u16string text;
};

TEST(GbkText, DecodesKnownVectors)
{
    using namespace std::string_literals;
    const DecodeCase cases[] = {
        {"", u""},
        {Texts::kLinkUpEn, u"Conneted, OK. "},
        {Texts::kReconnected, u"已经重新连接上."},
        {Texts::kReconnectFailed, u"重新连接不上."},
        {Texts::kConnectFailedZh, u"连接到'%s:%d'不成功，网络不通或CTI服务器没有启动"},
        {Texts::kTitle1Zh, u"用户消息1"},
        {Texts::kHeadersZh[3], u"当前按键"},
        // The edges of the lead and trail ranges, and characters older GBK tables map differently.
        {"\x81\x40\x81\x7E\x81\x80\x81\xFE", u"\x4E02\x4E8A\x4E90\x4FA2"},
        {"\xA1\xA1\xA1\xA4\xA1\xAA\xA8\x44\xA8\xA6\xA3\xA4", u"\x3000\x00B7\x2014\x2015\x00E9\xFFE5"},
        {"\xB0\xA1\xD7\xF9\xF7\xFE\xFD\x9C\xFE\x40\xFE\x4F", u"\x554A\x5EA7\x9F44\xF92C\xFA0C\xFA29"},
        {"\x80", u"\x20AC"},
        {"A\x80\x80.", u"A\x20AC\x20AC."},
        {"\x81\x80\x80", u"\x4E90\x20AC"},
        // Broken input: every stray byte on its own, ASCII always itself.
        {"\x81", {R}},
        {"A\x81", {u'A', R}},
        {"\x81\x20", {R, u' '}},
        {"\x81\x7F", {R, 0x7F}},
        {"\x81\xFF", {R, R}},
        {"\xFF", {R}},
        {"\xFF\xB0\xA1\xFE", {R, 0x554A, R}},
        {"\x81\x81\x41", {0x4E96, u'A'}},
        {"\xB0\xA1\0\xB0\xA1"s, {0x554A, 0, 0x554A}},
        {"\x81\0A"s, {R, 0, u'A'}},
        // The user-defined areas, which only Windows maps (into the Private Use Area).
        {"\xAA\xA1", {R, R}},
        {"\xFE\xFE", {R, R}},
        {"\xD7\xFA", {R, R}},
        {"\xA1\x40", {R, u'@'}},
        {"\xB0\xA1\xAA\xA1\xB0\xA1.\xA1\x40\xB0\xA1", {0x554A, R, R, 0x554A, u'.', R, u'@', 0x554A}},
    };
    for (const DecodeCase& c : cases)
        EXPECT_EQ(GbkToUtf16(c.gbk), c.text) << testing::PrintToString(c.gbk);
}

TEST(GbkText, EveryAsciiByteIsItself)
{
    std::string all;
    std::u16string expected;
    for (int b = 0; b < 0x80; ++b) {
        all += char(b);
        expected += char16_t(b);
    }
    EXPECT_EQ(GbkToUtf16(all), expected);
    EXPECT_EQ(Utf16ToGbk(expected), all);
    EXPECT_EQ(GbkToUtf16(all + "\xB0\xA1"), expected + u"\x554A"); // through the system's conversion too
    EXPECT_EQ(Utf16ToGbk(expected + u"\x554A"), all + "\xB0\xA1");
}

struct EncodeCase {
    std::u16string text;
    std::string gbk;
};

TEST(GbkText, EncodesKnownVectors)
{
    const EncodeCase cases[] = {
        {u"", ""},
        {u"已经重新连接上.", Texts::kReconnected},
        {u"连接到'%s:%d'不成功，网络不通或CTI服务器没有启动", Texts::kConnectFailedZh},
        {u"\x20AC", "\x80"},
        {u"\x00E9\x00B7\x2015\x0410\x00A4", "\xA8\xA6\xA1\xA4\xA8\x44\xA7\xA1\xA1\xE8"},
        // No GBK form: '?' once per code point, the neighbours untouched.
        {u"\xD800", "?"},
        {u"a\xDC00z", "a?z"},
        {u"\xD800\xD800", "??"},
        {u"\xDC00\xD800", "??"},
        {u"\xD83D\xDE00", "?"},
        {u"\xD83D\xDE00x", "?x"},
        {u"啊\xD83D\xDE00啊", "\xB0\xA1?\xB0\xA1"},
        {u"\xE000\xF8F5", "??"},
        {u"\xFFFD", "?"},
        {u"\x0080", "?"},
        {u"啊\xAC00啊", "\xB0\xA1?\xB0\xA1"},
        {u"\x00C0", "?"},
    };
    for (const EncodeCase& c : cases)
        EXPECT_EQ(Utf16ToGbk(c.text), c.gbk) << testing::PrintToString(c.text);
}

TEST(GbkText, EveryConvertibleCharacterRoundTrips)
{
    int convertible = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            const std::string gbk{char(lead), char(trail)};
            std::u16string text = GbkToUtf16(gbk);
            ASSERT_FALSE(text.empty()) << lead << ' ' << trail;
            if (text[0] == R) {
                EXPECT_EQ(text, (std::u16string{R, trail < 0x80 ? char16_t(trail) : R})) << lead << ' ' << trail;
                continue;
            }
            ++convertible;
            ASSERT_EQ(text.size(), 1u) << lead << ' ' << trail;
            EXPECT_EQ(Utf16ToGbk(text), gbk) << lead << ' ' << trail;
        }
    }
    // Every two-byte character outside the user-defined areas.
    EXPECT_EQ(convertible, 21791);
}

TEST(GbkText, EveryEncodedCharacterDecodesBack)
{
    int encodable = 0;
    for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        const std::u16string text(1, char16_t(c));
        const std::string gbk = Utf16ToGbk(text);
        if (gbk == "?")
            continue;
        ++encodable;
        ASSERT_TRUE(gbk == "\x80" || gbk.size() == 2) << std::hex << unsigned(text[0]);
        EXPECT_EQ(GbkToUtf16(gbk), text) << std::hex << unsigned(text[0]);
    }
    EXPECT_EQ(encodable, 21791 + 1); // the two-byte characters and the euro sign
}

TEST(GbkText, LongTextsConvertWhole)
{
    // An odd start puts characters across every internal chunk boundary.
    std::string gbk = "A";
    std::u16string text = u"A";
    for (int i = 0; i < 70000; ++i) {
        gbk += Texts::kReconnected;
        text += u"已经重新连接上.";
    }
    EXPECT_EQ(GbkToUtf16(gbk), text);
    EXPECT_EQ(Utf16ToGbk(text), gbk);

    // One unconvertible character inside a long text spoils nothing around it: it goes in before the
    // sixth character of the repetition that starts at byte 1 + 6666 * 15.
    std::string spoilt = gbk;
    spoilt.insert(1 + 6666 * 15 + 10, "\xAA\xA1");
    std::u16string spoiltText = text;
    spoiltText.insert(1 + 6666 * 8 + 5, 2, R);
    EXPECT_EQ(GbkToUtf16(spoilt), spoiltText);

    EXPECT_EQ(GbkToUtf16(std::string(200000, '\xFF')), std::u16string(200000, R));
    EXPECT_EQ(Utf16ToGbk(std::u16string(200000, u'\xDC00')), std::string(200000, '?'));
}

TEST(GbkText, ThreadsConvertIndependently)
{
    const std::string gbk = std::string(Texts::kConnectFailedZh) + "\xAA\xA1\xFF";
    const std::u16string text = GbkToUtf16(gbk);
    const std::string encoded = Utf16ToGbk(text);
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i)
                mismatches[size_t(t)] += GbkToUtf16(gbk) != text || Utf16ToGbk(text) != encoded;
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

} // namespace
