#include "utility/shell/TextLineReader.h"

TextLineReader::TextLineReader(const QByteArray& bytes, int maxLineLength, LongLines longLines)
    : m_bytes(bytes)
    , m_maxLineLength(maxLineLength)
    , m_longLines(longLines)
{
}

bool TextLineReader::readLine(QString& line)
{
    for (;;) {
        if (failed() || m_position >= m_bytes.size())
            return false;
        qsizetype end = m_position;
        while (end < m_bytes.size() && m_bytes.at(end) != '\n' && m_bytes.at(end) != '\r')
            ++end;
        const bool tooLong = end - m_position > m_maxLineLength;
        if (tooLong && m_longLines == LongLines::Fail) {
            m_error = QStringLiteral("line %1 is longer than %2 characters").arg(m_lineNumber + 1).arg(m_maxLineLength);
            return false;
        }
        if (!tooLong)
            line = QString::fromLatin1(m_bytes.constData() + m_position, end - m_position);
        // Past the line's end: CR LF counts as one.
        if (end < m_bytes.size() && m_bytes.at(end) == '\r' && end + 1 < m_bytes.size() && m_bytes.at(end + 1) == '\n')
            ++end;
        m_position = end < m_bytes.size() ? end + 1 : end;
        ++m_lineNumber;
        if (!tooLong)
            return true;
    }
}
