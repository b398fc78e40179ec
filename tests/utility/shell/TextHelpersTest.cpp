#include "utility/shell/TextHelpers.h"

#include <gtest/gtest.h>

using namespace KvlXGlobal;

TEST(TextHelpersTest, HexadecimalAndBinaryTexts)
{
    EXPECT_EQ(HexToValue(QStringLiteral("1AH")), 26);
    EXPECT_EQ(HexToValue(QStringLiteral("1A")), 0);
    EXPECT_EQ(HexToValue(QStringLiteral("H")), 0);
    EXPECT_EQ(HexToValue(QStringLiteral("10000H")), 65536);
    EXPECT_EQ(HexToValue(QStringLiteral("1G2H")), 1);
    // A word with its top bit set stays the word, so writing it back does not change it.
    EXPECT_EQ(HexToValue(QStringLiteral("FFFFH")), 65535);
    EXPECT_EQ(HexToValue(QStringLiteral("8120H\r\n")), 0x8120);
    EXPECT_EQ(HexToValue(QStringLiteral("FFFFFFFFH")), -1);
    EXPECT_EQ(HexToValue(QStringLiteral("123456789H")), 0);

    EXPECT_EQ(HexToBinary(QStringLiteral("1F")), QStringLiteral("00011111B"));
    EXPECT_EQ(HexToBinary(QStringLiteral("a5")), QStringLiteral("10100101B"));
    EXPECT_EQ(HexToBinary(QStringLiteral("1G2")), QStringLiteral("0001B"));
    EXPECT_EQ(HexToBinary(QString()), QStringLiteral("B"));

    const QString bits = QStringLiteral("10100101B");
    EXPECT_EQ(GetBinaryBit(bits, 0), 1);
    EXPECT_EQ(GetBinaryBit(bits, 1), 0);
    EXPECT_EQ(GetBinaryBit(bits, 7), 1);
    EXPECT_EQ(GetBinaryBit(bits, 8), 0); // outside the digits
    EXPECT_EQ(GetBinaryBit(bits, -1), 0);
}

TEST(TextHelpersTest, TerminalLineClassifiers)
{
    QString line = QStringLiteral("1ep");
    EXPECT_TRUE(TrackProgramMode(line, false));
    EXPECT_EQ(line, QStringLiteral("1EP"));
    line = QStringLiteral("1QM?");
    EXPECT_FALSE(TrackProgramMode(line, true));
    line = QStringLiteral("1TP");
    EXPECT_TRUE(TrackProgramMode(line, true));
    EXPECT_FALSE(TrackProgramMode(line, false));
    line = QStringLiteral("123");
    EXPECT_FALSE(TrackProgramMode(line, true));
    line = QStringLiteral("1EX");
    EXPECT_FALSE(TrackProgramMode(line, true));

    for (const char* reset : {"1RS", " rs", "RS?"}) {
        line = QString::fromLatin1(reset);
        EXPECT_TRUE(IsResetCommand(line)) << reset;
    }
    line = QStringLiteral("1RT");
    EXPECT_FALSE(IsResetCommand(line));
    line = QStringLiteral("lp");
    EXPECT_TRUE(IsListProgramCommand(line));
    EXPECT_EQ(line, QStringLiteral("LP"));

    // Upper case stays within the 8-bit set: the micro sign goes over the wire unchanged.
    line = QStringLiteral("1sn") + QChar(0xB5) + QStringLiteral("m");
    IsResetCommand(line);
    EXPECT_EQ(line, QStringLiteral("1SN") + QChar(0xB5) + QStringLiteral("M"));
}
