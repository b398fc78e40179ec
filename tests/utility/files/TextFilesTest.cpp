#include "utility/files/CommandFileWriter.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(TextFilesTest, WriterEndsLinesWithCrLfAndReplacesTheTargetOnlyOnCommit)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old\r\n");
    }
    {
        CommandFileWriter writer(path);
        ASSERT_TRUE(writer.open());
        writer.writeLine(QStringLiteral("1VA10"));
        // Abandoned without commit: the old file stays.
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("old\r\n"));
    file.close();

    CommandFileWriter writer(path);
    ASSERT_TRUE(writer.open());
    writer.writeLine(QStringLiteral("1VA10"));
    writer.writeLine(QString());
    writer.writeLine(QString(QChar(0xB5)) + QStringLiteral("m"));
    ASSERT_TRUE(writer.commit());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("1VA10\r\n\r\n\xB5m\r\n"));
}
