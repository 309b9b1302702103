#include "platform/GbkText.h"
#include "platform/qt/Gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <gtest/gtest.h>

// Where Qt has ICU, its GBK codec (the Windows 936 table) is what the display uses; the core
// conversion stands in for it elsewhere and must show the same characters.
namespace {

constexpr char16_t R = 0xFFFD;

bool IsPrivateUse(char16_t c)
{
    return c >= 0xE000 && c <= 0xF8FF;
}

// ICU leaves out the BMP's default-ignorable code points when it cannot encode them; the core, like
// Windows, writes '?' as for any other character without a GBK form.
bool IsDroppedByIcu(char16_t c)
{
    static constexpr char16_t ranges[][2] = {
        {0x00AD, 0x00AD}, {0x034F, 0x034F}, {0x061C, 0x061C}, {0x115F, 0x1160}, {0x17B4, 0x17B5},
        {0x180B, 0x180F}, {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x206F}, {0x3164, 0x3164},
        {0xFE00, 0xFE0F}, {0xFEFF, 0xFEFF}, {0xFFA0, 0xFFA0}, {0xFFF0, 0xFFF8},
    };
    for (const auto& r : ranges) {
        if (c >= r[0] && c <= r[1])
            return true;
    }
    return false;
}

TEST(GbkQt, CoreDecodesEveryTwoByteCharacterLikeQt)
{
    QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        GTEST_SKIP() << "this Qt has no GBK codec";
    int privateUse = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            const char gbk[2] = {char(lead), char(trail)};
            const QString qt = decoder.decode(QByteArrayView(gbk, 2));
            const std::u16string core = GbkToUtf16(std::string_view(gbk, 2));
            ASSERT_EQ(qt.size(), 1) << lead << ' ' << trail;
            // The user-defined areas: Windows maps them into the Private Use Area, the core refuses them.
            if (IsPrivateUse(qt[0].unicode())) {
                ++privateUse;
                EXPECT_EQ(core, (std::u16string{R, trail < 0x80 ? char16_t(trail) : R})) << lead << ' ' << trail;
                continue;
            }
            EXPECT_EQ(core, qt.toStdU16String()) << lead << ' ' << trail;
        }
    }
    EXPECT_GT(privateUse, 0);
}

TEST(GbkQt, CoreEncodesEveryBmpCharacterLikeQt)
{
    QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        GTEST_SKIP() << "this Qt has no GBK codec";
    for (char32_t c = 1; c <= 0xFFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        const char16_t unit = char16_t(c);
        const QByteArray qt = encoder.encode(QStringView(&unit, 1));
        const std::string core = Utf16ToGbk(std::u16string_view(&unit, 1));
        if (IsPrivateUse(unit) || IsDroppedByIcu(unit)) {
            EXPECT_EQ(core, "?") << std::hex << unsigned(c);
            EXPECT_EQ(qt.isEmpty(), IsDroppedByIcu(unit)) << std::hex << unsigned(c);
        } else {
            EXPECT_EQ(core, qt.toStdString()) << std::hex << unsigned(c);
        }
    }
}

TEST(GbkQt, DisplayBoundaryShowsTheCoreTextsUnchanged)
{
    const std::string gbk = "Line \xCF\xDF\xC2\xB7 \x80";
    EXPECT_EQ(FromGbk(gbk).toStdU16String(), GbkToUtf16(gbk));
    EXPECT_EQ(ToGbk(FromGbk(gbk)), gbk);
}

} // namespace
