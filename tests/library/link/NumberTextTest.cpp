#include "library/link/NumberText.h"

#include "library/link/Global.h"
#include "platform/RuntimeError.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/support/TestHelpers.h"

TEST(NumberText, CommandFormsUseThePeriodInEveryLocale)
{
    CommaLocale comma;
    EXPECT_EQ(NumberText::integerText(3), "3");
    EXPECT_EQ(NumberText::integerText(-3), "-3");
    EXPECT_EQ(NumberText::singleText(0.5f), "0.5");
    EXPECT_EQ(NumberText::singleText(0.1f), "0.1");
    EXPECT_EQ(NumberText::singleText(2.0f), "2");
    EXPECT_EQ(NumberText::singleText(12345678.0f), "1.234568E+07");
    EXPECT_EQ(NumberText::singleText(-0.0f), "0");
    EXPECT_EQ(NumberText::doubleText(-1234.5678), "-1234.5678");
    EXPECT_EQ(NumberText::doubleText(0.1), "0.1");
    EXPECT_EQ(NumberText::doubleText(1e20), "1E+20");
    EXPECT_EQ(NumberText::doubleText(1.5e-5), "1.5E-05");
    // The largest doubles round up past the range at 15 digits: their text stays below it.
    const double largest = std::numeric_limits<double>::max();
    for (double v : {largest, -largest, std::nextafter(largest, 0.0), 1.797693134862315e308}) {
        const QString text = NumberText::doubleText(v);
        EXPECT_TRUE(std::isfinite(text.toDouble())) << text.toStdString();
        EXPECT_EQ(text, v < 0 ? "-1.79769313486231E+308" : "1.79769313486231E+308");
    }
    EXPECT_EQ(NumberText::doubleText(1.79769313486231e308), "1.79769313486231E+308");

    EXPECT_EQ(NumberText::blankSignedSingle(2.5f), " 2.5");
    EXPECT_EQ(NumberText::blankSignedSingle(-2.5f), "-2.5");
    EXPECT_EQ(NumberText::blankSignedSingle(0.5f), " .5");
    EXPECT_EQ(NumberText::blankSignedSingle(-0.5f), "-.5");
    EXPECT_EQ(NumberText::blankSignedSingle(0.0f), " 0");
    EXPECT_EQ(NumberText::blankSignedSingle(10.5f), " 10.5");
    EXPECT_EQ(NumberText::blankSignedDouble(1234567.891), " 1234567.891");
    EXPECT_EQ(NumberText::blankSignedInteger(1), " 1");
    EXPECT_EQ(NumberText::blankSignedInteger(-1), "-1");
}

TEST(NumberText, HexWords)
{
    EXPECT_EQ(NumberText::hexWord(0), "00");
    EXPECT_EQ(NumberText::hexWord(255), "0FF");
    EXPECT_EQ(NumberText::hexWord(160), "0A0");
    EXPECT_EQ(NumberText::hexWord(4096), "01000");
    EXPECT_EQ(NumberText::hexWord(32768), "08000");
    EXPECT_EQ(NumberText::hexWord(-1), "0FFFFFFFF");

    QString reply = QStringLiteral("1A3H");
    NumberText::markHex(reply);
    EXPECT_EQ(reply, "&H1A3H");
    reply = QStringLiteral("0a0h");
    NumberText::markHex(reply);
    EXPECT_EQ(reply, "0a0h");
}

TEST(NumberText, ReplyParseReadsTheLeadingNumber)
{
    CommaLocale comma;
    EXPECT_EQ(NumberText::parseReply(" 12.5\r\n"), 12.5);
    EXPECT_EQ(NumberText::parseReply("1 2\t3"), 123);
    EXPECT_EQ(NumberText::parseReply("-.5"), -0.5);
    EXPECT_EQ(NumberText::parseReply("+7x"), 7);
    EXPECT_EQ(NumberText::parseReply("1.5E3"), 1500);
    EXPECT_EQ(NumberText::parseReply("2E-1"), 0.2);
    EXPECT_EQ(NumberText::parseReply("4E"), 4);
    EXPECT_EQ(NumberText::parseReply("1.2.3"), 1.2);
    EXPECT_EQ(NumberText::parseReply("0,5"), 0);
    EXPECT_EQ(NumberText::parseReply(""), 0);
    EXPECT_EQ(NumberText::parseReply("-"), 0);
    EXPECT_EQ(NumberText::parseReply("abc"), 0);
    EXPECT_EQ(NumberText::parseReply("12\r34"), 12);
}

TEST(NumberText, HexRepliesOfUpToFourDigitsAreUnsignedWords)
{
    EXPECT_EQ(NumberText::parseReply("&H1A3H"), 419);
    EXPECT_EQ(NumberText::parseReply("&H0a0"), 160);
    EXPECT_EQ(NumberText::parseReply("&HFFFFH"), 65535);
    EXPECT_EQ(NumberText::parseReply("&H8000H"), 32768);
    EXPECT_EQ(NumberText::parseReply("&H0FFFFH"), 65535);
    EXPECT_EQ(NumberText::parseReply("&H10000H"), 65536);
    EXPECT_EQ(NumberText::parseReply("&H12345H"), 74565);
    EXPECT_EQ(NumberText::parseReply("&HFFFFFFFFH"), -1);
    EXPECT_EQ(NumberText::parseReply("&H80000000H"), -2147483648.0);
    EXPECT_EQ(NumberText::parseReply("&HH"), 0);

    // A word read and written back is unchanged.
    const QList<QPair<QString, QString>> words = {
        {"8000H", "08000"}, {"FFFFH", "0FFFF"}, {"0A0H", "0A0"}, {"FFFFFFFFH", "0FFFFFFFF"}};
    for (const auto& [reply, written] : words) {
        QString text = reply;
        NumberText::markHex(text);
        EXPECT_EQ(NumberText::hexWord(NumberText::toI32(NumberText::parseReply(text))), written) << reply.toStdString();
    }
}

TEST(NumberText, StatusWordsAreUnsignedAndNeverWrapped)
{
    EXPECT_EQ(NumberText::statusWord("1A3H, 5FH"), 0x1A3u);
    EXPECT_EQ(NumberText::statusWord("FFFFFFFFH"), 0xFFFFFFFFu);
    EXPECT_EQ(NumberText::statusWord("000000080000001H"), 0x80000001u) << "leading zeros are not significant";
    EXPECT_EQ(NumberText::statusWord("10H5"), 0x10u);
    // Leading blanks are passed over as the reply parse passes them: a PH? reply " 1A3H" is 419,
    // not an amplifier that is off.
    EXPECT_EQ(NumberText::statusWord(" 1A3H"), 0x1A3u);
    EXPECT_EQ(NumberText::statusWord(" \t\n1A3H"), 0x1A3u);
    EXPECT_EQ(NumberText::parseReply("&H 1A3H"), 419.0);
    for (const char* bad : {"123456789H", "1A", "H", "", " H", " -1AH", "FFFFFFFFFFFFFFFFFFFFH"})
        EXPECT_EQ(NumberText::statusWord(bad), std::nullopt) << bad;

    // A value is fitted to what its field holds, or is no value at all.
    using T = NumberText::Target;
    EXPECT_EQ(NumberText::fit(32767.4, T::I16), 32767.0);
    EXPECT_EQ(NumberText::fit(32767.5, T::I16), std::nullopt);
    EXPECT_EQ(NumberText::fit(-2147483648.0, T::I32), -2147483648.0);
    EXPECT_EQ(NumberText::fit(4886718345.0, T::I32), std::nullopt);
    EXPECT_EQ(NumberText::fit(1e39, T::Single), std::nullopt);
    EXPECT_EQ(NumberText::fit(0.1, T::Single), double(0.1f));
    EXPECT_EQ(NumberText::fit(HUGE_VAL, T::Double), std::nullopt);
    EXPECT_EQ(NumberText::fit(std::nan(""), T::I32), std::nullopt);
    EXPECT_EQ(NumberText::replyNumber(" 12.5\r\n", T::Double), 12.5);
    EXPECT_EQ(NumberText::replyNumber("&H123456789H", T::Double), std::nullopt);
    EXPECT_EQ(NumberText::replyNumber("No data", T::Double), std::nullopt);
    EXPECT_FALSE(NumberText::holdsNumber(" \r\n"));
    EXPECT_TRUE(NumberText::holdsNumber("99999999999"));
}

TEST(NumberText, IntegerConversionsRoundHalvesToEvenAndOverflow)
{
    EXPECT_EQ(NumberText::toI16(2.5), 2);
    EXPECT_EQ(NumberText::toI16(3.5), 4);
    EXPECT_EQ(NumberText::toI16(-2.5), -2);
    EXPECT_EQ(NumberText::toI16(-32768.4), -32768);
    EXPECT_EQ(errorNumber([] { NumberText::toI16(32767.5); }), 6);
    EXPECT_EQ(errorNumber([] { NumberText::toI16(std::nan("")); }), 6);
    EXPECT_EQ(NumberText::toI32(2147483647.0), 2147483647);
    EXPECT_EQ(errorNumber([] { NumberText::toI32(2147483648.0); }), 6);
    EXPECT_EQ(errorNumber([] { NumberText::narrowI16(40000); }), 6);
    EXPECT_EQ(NumberText::narrowI16(-2), -2);
}

TEST(NumberText, TextBoxFormsFollowTheLocaleBothWays)
{
    PointLocale point;
    EXPECT_EQ(NumberText::displayText(1.5, 4), "1.5000");
    EXPECT_EQ(NumberText::localeSingle(0.1f), "0.1");
    {
        CommaLocale comma;
        EXPECT_EQ(NumberText::displayText(1234.5, 4), "1234,5000");
        EXPECT_EQ(NumberText::displayText(-0.00001, 4), "0,0000");
        EXPECT_EQ(NumberText::displayText(7, 0), "7");
        EXPECT_EQ(NumberText::localeSingle(0.1f), "0,1");
        EXPECT_EQ(NumberText::localeSingle(1234.5f), "1234,5");
        EXPECT_EQ(NumberText::localeDouble(-0.25), "-0,25");

        bool ok = false;
        EXPECT_EQ(NumberText::parseLocale("1,5", &ok), 1.5);
        EXPECT_TRUE(ok);
        EXPECT_EQ(NumberText::parseLocale("1.500", &ok), 0);
        EXPECT_FALSE(ok);
        EXPECT_EQ(NumberText::parseLocale("-", &ok), 0);
        EXPECT_FALSE(ok);
        for (float v : {0.1f, 3.14159f, -1234.567f, 1e-7f, 16777216.0f})
            EXPECT_EQ(float(NumberText::parseLocale(NumberText::localeSingle(v))), v) << v;
    }
}

TEST(NumberText, LocaleFormsAreShortestPlainDecimalsNeverExponents)
{
    PointLocale point;
    const QList<QPair<float, QString>> singles{{100.0f, "100"},         {1000.0f, "1000"},   {1e7f, "10000000"},
                                               {16777216.0f, "16777216"}, {1e-5f, "0.00001"}, {-0.0f, "0"},
                                               {1.0000001f, "1.0000001"}, {-2500.5f, "-2500.5"}};
    for (const auto& [value, text] : singles)
        EXPECT_EQ(NumberText::localeSingle(value), text) << value;
    EXPECT_EQ(NumberText::localeDouble(1e6), "1000000");
    EXPECT_EQ(NumberText::localeDouble(1e-7), "0.0000001");
    EXPECT_EQ(NumberText::localeDouble(123456789012.5), "123456789012.5");
    CommaLocale comma;
    EXPECT_EQ(NumberText::localeSingle(1e-4f), "0,0001");
    EXPECT_EQ(NumberText::localeDouble(2e5), "200000");
    // What a box shows reads back as the same value, even through the cleaning of a visit.
    for (float v : {100.0f, 3e9f, 7.5e-6f, -1e12f}) {
        QString shown = NumberText::localeSingle(v);
        Global::CleanNumericText(shown);
        EXPECT_EQ(float(NumberText::parseLocale(shown)), v) << v;
    }
}

TEST(NumberText, ShortestDoubleTextsReadBackAsTheSameDouble)
{
    PointLocale point;
    // Re-rounding the exact value to the shortest text's length gave 2^-44 the neighbour's digits.
    EXPECT_EQ(NumberText::localeDouble(std::ldexp(1.0, -44)), "0.00000000000005684341886080802");
    QStringList wrong;
    for (int e = -1074; e <= 1023; ++e) {
        const double v = std::ldexp(1.0, e);
        if (NumberText::parseLocale(NumberText::localeDouble(v)) != v)
            wrong << QString::number(e);
    }
    EXPECT_TRUE(wrong.isEmpty()) << wrong.join(' ').toStdString();
}

TEST(NumberText, EveryShownNumberReadsBackWithItsSignInEveryLocale)
{
    // Right-to-left locales write a direction mark before the minus, which Qt 6.4 cannot read
    // back, and Arabic ones their own digits, which cleaning once dropped.
    for (const char* name : {"de_DE", "he_IL", "ar_EG", "fa_IR"}) {
        LocaleScope scope{QLocale(QString::fromLatin1(name))};
        for (double v : {-2.5, 2.5, -0.001, -1234.5678, 0.0}) {
            bool ok = false;
            QString shown = NumberText::displayText(v, 4);
            EXPECT_EQ(NumberText::parseLocale(shown, &ok), v) << name << " " << shown.toStdString();
            EXPECT_TRUE(ok);
            QString cleaned = shown;
            Global::CleanNumericText(cleaned);
            EXPECT_EQ(cleaned, shown) << name << ": a shown number cleans to itself";
            EXPECT_EQ(NumberText::parseLocale(NumberText::localeDouble(v)), v) << name;
            EXPECT_EQ(float(NumberText::parseLocale(NumberText::localeSingle(float(v)))), float(v)) << name;
        }
        // What a user types: an ASCII minus and digits, also before the locale's own digits.
        QString typed = QStringLiteral("-2") + QLocale().decimalPoint() + QStringLiteral("5");
        Global::CleanNumericText(typed);
        EXPECT_EQ(NumberText::parseLocale(typed), -2.5) << name;
        QString arabic = QStringLiteral("-") + QLocale().toString(2.5, 'f', 1);
        Global::CleanNumericText(arabic);
        EXPECT_EQ(NumberText::parseLocale(arabic), -2.5) << name;
        // A group separator is still no number.
        bool ok = true;
        NumberText::parseLocale(QStringLiteral("1") + QLocale().groupSeparator() + QStringLiteral("000"), &ok);
        EXPECT_FALSE(ok) << name;
    }
}
