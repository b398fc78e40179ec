#include "library/link/ReadMarks.h"

#include <gtest/gtest.h>

TEST(ReadMarks, AReplyAnswersItsQueryOnlyWhenItCarriesANumber)
{
    double v = -1;
    using R = ReadMarks::Reply;
    // Unanswered: a failed exchange, nothing, blanks, the controller's "nothing" words.
    EXPECT_FALSE(ReadMarks::replyValue(-1, QStringLiteral("5\r\n"), R::Decimal, v));
    EXPECT_FALSE(ReadMarks::replyValue(-2, QStringLiteral("5\r\n"), R::Decimal, v));
    EXPECT_FALSE(ReadMarks::replyValue(0, QString(), R::Decimal, v));
    EXPECT_FALSE(ReadMarks::replyValue(0, QStringLiteral("   \r\n"), R::Hex, v));
    EXPECT_FALSE(ReadMarks::replyValue(0, QStringLiteral("No data\r\n"), R::Hex, v));
    EXPECT_FALSE(ReadMarks::replyValue(0, QStringLiteral("No Message\r\n"), R::MarkedHex, v));
    EXPECT_EQ(v, -1);

    EXPECT_TRUE(ReadMarks::replyValue(0, QStringLiteral("120H\r\n"), R::Hex, v));
    EXPECT_EQ(v, 0x120);
    EXPECT_TRUE(ReadMarks::replyValue(0, QStringLiteral("1A5H\r\n"), R::MarkedHex, v));
    EXPECT_EQ(v, 421);
    EXPECT_TRUE(ReadMarks::replyValue(0, QStringLiteral("12\r\n"), R::MarkedHex, v));
    EXPECT_EQ(v, 12);
    EXPECT_TRUE(ReadMarks::replyValue(0, QStringLiteral("0.25\r\n"), R::Decimal, v));
    EXPECT_EQ(v, 0.25);

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
