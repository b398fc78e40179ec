#include "utility/shell/TextLineReader.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

QStringList readAll(const QByteArray& bytes, int maxLineLength = TextLineReader::DefaultMaxLineLength,
                    QString* error = nullptr, TextLineReader::LongLines longLines = TextLineReader::LongLines::Fail,
                    QList<int>* numbers = nullptr)
{
    TextLineReader reader(bytes, maxLineLength, longLines);
    QStringList lines;
    QString line;
    while (reader.readLine(line)) {
        lines << line;
        if (numbers)
            *numbers << reader.lineNumber();
    }
    if (error)
        *error = reader.errorString();
    return lines;
}

} // namespace

TEST(TextLineReaderTest, EveryKindOfLineEndEndsALineAndBytesPassUnchanged)
{
    EXPECT_EQ(readAll("a\r\nb\nc\rd"), (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(readAll("a\r\n\r\n\n\rb\r\n"), (QStringList{"a", "", "", "", "b"}));
    EXPECT_EQ(readAll("\r\n"), QStringList{""});
    EXPECT_TRUE(readAll("").isEmpty());
    // CR LF split across the reader's reads is still one line end.
    EXPECT_EQ(readAll(QByteArray(5000, 'x') + "\r\ny"), (QStringList{QString(5000, QLatin1Char('x')), "y"}));
    const QStringList high = readAll(QByteArray("1\xB5m\0z\r\n", 6));
    ASSERT_EQ(high.size(), 1);
    EXPECT_EQ(high[0], QString(QChar(u'1')) + QChar(0xB5) + QChar(u'm') + QChar(0) + QChar(u'z'));

    QString error;
    EXPECT_EQ(readAll("abc\r\nabcdef\r\nx", 4, &error), QStringList{"abc"});
    EXPECT_EQ(error, QStringLiteral("line 2 is longer than 4 characters"));

    // Passed over instead: to its end, CR LF as one, and the line numbers still count it.
    QList<int> numbers;
    EXPECT_EQ(readAll("abcdef\r\nab\rabcdefgh\n\r\nabcd", 4, &error, TextLineReader::LongLines::PassOver, &numbers),
              (QStringList{"ab", "", "abcd"}));
    EXPECT_EQ(numbers, (QList<int>{2, 4, 5}));
    EXPECT_TRUE(error.isEmpty());
    EXPECT_TRUE(readAll("abcdefgh", 4, &error, TextLineReader::LongLines::PassOver).isEmpty());
    EXPECT_TRUE(error.isEmpty());
}
