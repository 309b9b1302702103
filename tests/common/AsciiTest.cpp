#include "common/Ascii.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <clocale>

namespace {

// The C library's functions through pointers: the compiler knows them as builtins and would answer
// for constants as the "C" locale does, whatever locale is set.
int (*volatile libIsDigit)(int) = &::isdigit;
int (*volatile libIsSpace)(int) = &::isspace;
int (*volatile libToUpper)(int) = &::toupper;

// Every byte value: the helpers answer as the C library does in the "C" locale.
void ExpectCLocaleAnswers()
{
    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(b);
        const unsigned char c = static_cast<unsigned char>(b);
        EXPECT_EQ(AsciiIsDigit(c), (b >= '0' && b <= '9'));
        EXPECT_EQ(AsciiIsSpace(c), b == ' ' || b == '\t' || b == '\n' || b == '\v' || b == '\f' || b == '\r');
        EXPECT_EQ(static_cast<unsigned char>(AsciiToUpper(char(c))), (b >= 'a' && b <= 'z') ? b - 32 : b);
    }
}

TEST(AsciiTest, AnswersAsTheCLocaleDoes)
{
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(b);
        const unsigned char c = static_cast<unsigned char>(b);
        EXPECT_EQ(AsciiIsDigit(c), libIsDigit(b) != 0);
        EXPECT_EQ(AsciiIsSpace(c), libIsSpace(b) != 0);
        EXPECT_EQ(static_cast<unsigned char>(AsciiToUpper(char(c))), libToUpper(b));
    }
    ExpectCLocaleAnswers();
}

TEST(AsciiTest, TurkishLocaleChangesNothing)
{
    TurkishLocale turkish;
    if (!turkish.active())
        GTEST_SKIP() << "no Turkish locale: " << turkish.why();
    ASSERT_EQ(libToUpper('i'), 'i'); // what the helpers are there for
    ExpectCLocaleAnswers();
    static_assert(AsciiToUpper('i') == 'I' && AsciiToUpper('\xFD') == '\xFD' && !AsciiIsDigit(0xB2));
}

} // namespace
