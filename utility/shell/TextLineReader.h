#pragma once

#include <QByteArray>
#include <QString>

// Reads a text file, read whole beforehand, line by line as 8-bit text: CR LF, LF and a lone CR
// each end a line, so no line ever carries a CR or LF of its own. A last line without an end still
// counts; a file that ends with a line end has no empty line after it. A line longer than the
// limit is an error, not a line, or is passed over whole when the reader is told so.
class TextLineReader {
public:
    static constexpr int DefaultMaxLineLength = 64 * 1024;

    // What a line longer than the limit does: end the reading as an error, or be passed over to
    // its end (its tail is no line of its own) while the reading goes on.
    enum class LongLines { Fail, PassOver };

    explicit TextLineReader(const QByteArray& bytes, int maxLineLength = DefaultMaxLineLength,
                            LongLines longLines = LongLines::Fail);

    // The next line without its end; false at the end of the file or on an error.
    bool readLine(QString& line);
    // The number of the line readLine returned last (from 1); lines passed over count.
    int lineNumber() const { return m_lineNumber; }

    bool failed() const { return !m_error.isEmpty(); }
    // Why reading stopped early: that a line is too long.
    QString errorString() const { return m_error; }

private:
    QByteArray m_bytes;
    qsizetype m_position = 0;
    int m_maxLineLength;
    LongLines m_longLines;
    int m_lineNumber = 0;
    QString m_error;
};
