#include "library/link/ReadMarks.h"

#include <gtest/gtest.h>

TEST(ReadMarks, AReplyAnswersItsQueryOnlyWhenItCarriesANumber)
{
    double v = -1;
    using R = ReadMarks::Reply;
    using T = NumberText::Target;
    // Unanswered: a failed exchange, nothing, blanks, the controller's "nothing" words.
    EXPECT_FALSE(ReadMarks::replyValue(-1, QStringLiteral("5\r\n"), R::Decimal, T::Double, v));
    EXPECT_FALSE(ReadMarks::replyValue(-2, QStringLiteral("5\r\n"), R::Decimal, T::Double, v));
    EXPECT_FALSE(ReadMarks::replyValue(0, QString(), R::Decimal, T::Double, v));
    EXPECT_FALSE(ReadMarks::replyValue(0, QStringLiteral("   \r\n"), R::Hex, T::Double, v));
    EXPECT_FALSE(ReadMarks::replyValue(0, QStringLiteral("No data\r\n"), R::Hex, T::Double, v));
    EXPECT_FALSE(ReadMarks::replyValue(0, QStringLiteral("No Message\r\n"), R::MarkedHex, T::Double, v));
    EXPECT_EQ(v, -1);

    EXPECT_TRUE(ReadMarks::replyValue(0, QStringLiteral("120H\r\n"), R::Hex, T::Double, v));
    EXPECT_EQ(v, 0x120);
    EXPECT_TRUE(ReadMarks::replyValue(0, QStringLiteral("1A5H\r\n"), R::MarkedHex, T::Double, v));
    EXPECT_EQ(v, 421);
    EXPECT_TRUE(ReadMarks::replyValue(0, QStringLiteral("12\r\n"), R::MarkedHex, T::Double, v));
    EXPECT_EQ(v, 12);
    EXPECT_TRUE(ReadMarks::replyValue(0, QStringLiteral("0.25\r\n"), R::Decimal, T::Double, v));
    EXPECT_EQ(v, 0.25);

    // A number its field cannot hold is no answer either: never wrapped, never an error.
    v = -1;
    EXPECT_FALSE(ReadMarks::replyValue(0, QStringLiteral("40000\r\n"), R::Decimal, T::I16, v));
    EXPECT_FALSE(ReadMarks::replyValue(0, QStringLiteral("8000H\r\n"), R::MarkedHex, T::I16, v));
    EXPECT_FALSE(ReadMarks::replyValue(0, QStringLiteral("123456789H\r\n"), R::Hex, T::I32, v));
    EXPECT_FALSE(ReadMarks::replyValue(0, QStringLiteral("123456789H\r\n"), R::MarkedHex, T::Double, v));
    EXPECT_FALSE(ReadMarks::replyValue(0, QStringLiteral("2147483648\r\n"), R::Decimal, T::I32, v));
    EXPECT_FALSE(ReadMarks::replyValue(0, QStringLiteral("1E39\r\n"), R::Decimal, T::Single, v));
    EXPECT_FALSE(ReadMarks::replyValue(0, QStringLiteral("-1E999\r\n"), R::Decimal, T::Double, v));
    EXPECT_FALSE(ReadMarks::replyValue(0, QStringLiteral("?5\r\n"), R::Decimal, T::Double, v));
    EXPECT_EQ(v, -1);
    EXPECT_TRUE(ReadMarks::replyValue(0, QStringLiteral("FFFFFFFFH\r\n"), R::Hex, T::I32, v));
    EXPECT_EQ(v, -1);
    EXPECT_TRUE(ReadMarks::replyValue(0, QStringLiteral("FFFFH\r\n"), R::MarkedHex, T::I32, v));
    EXPECT_EQ(v, 0xFFFF);
    EXPECT_TRUE(ReadMarks::replyValue(0, QStringLiteral("-32768.4\r\n"), R::Decimal, T::I16, v));
    EXPECT_EQ(v, -32768);
    EXPECT_TRUE(ReadMarks::replyValue(0, QStringLiteral("2.5\r\n"), R::Decimal, T::I32, v));
    EXPECT_EQ(v, 2) << "halves to the even neighbour";

    ReadMarks marks;
    marks.markRead(2, 5);
    marks.markEdited(3, 1);
    marks.markRead(13, 1); // beyond the cache: ignored
    EXPECT_TRUE(marks.isKnown(2, 5));
    EXPECT_TRUE(marks.isKnown(3, 1));
    EXPECT_FALSE(marks.isKnown(2, 1));
    EXPECT_FALSE(marks.isKnown(13, 1));
    EXPECT_FALSE(marks.isKnown(0, 5));
    marks.clearEdits();
    EXPECT_FALSE(marks.isKnown(3, 1));
    EXPECT_TRUE(marks.isKnown(2, 5));
}

TEST(ReadMarks, AFlagIsReadOnlyFromAnAnsweredNumber)
{
    int flag = 7;
    EXPECT_FALSE(ReadMarks::replyFlag(-1, QStringLiteral("1\r\n"), flag));
    EXPECT_FALSE(ReadMarks::replyFlag(-3, QString(), flag));
    EXPECT_FALSE(ReadMarks::replyFlag(0, QString(), flag));
    EXPECT_FALSE(ReadMarks::replyFlag(0, QStringLiteral("No data\r\n"), flag));
    EXPECT_EQ(flag, 7);
    EXPECT_TRUE(ReadMarks::replyFlag(0, QStringLiteral("0\r\n"), flag));
    EXPECT_EQ(flag, 0);
    EXPECT_TRUE(ReadMarks::replyFlag(0, QStringLiteral("3\r\n"), flag));
    EXPECT_EQ(flag, 3);
    EXPECT_TRUE(ReadMarks::replyFlag(0, QStringLiteral("-1\r\n"), flag));
    EXPECT_EQ(flag, 0);
}
