#include "utility/shell/TextLineReader.h"

#include <QBuffer>
#include <QByteArray>
#include <QIODevice>

TextLineReader::TextLineReader(QIODevice* device, int maxLineLength)
    : m_device(device)
    , m_maxLineLength(maxLineLength)
{
}

TextLineReader::TextLineReader(const QByteArray& bytes, int maxLineLength)
    : m_bytes(bytes)
    , m_buffer(std::make_unique<QBuffer>(&m_bytes))
    , m_device(m_buffer.get())
    , m_maxLineLength(maxLineLength)
{
    m_buffer->open(QIODevice::ReadOnly);
}

TextLineReader::~TextLineReader() = default;

bool TextLineReader::readLine(QString& line)
{
    if (!m_device || failed())
        return false;
    QByteArray bytes;
    bool any = false;
    char c = 0;
    while (m_device->getChar(&c)) {
        any = true;
        ++m_bytesRead;
        if (c == '\n')
            break;
        if (c == '\r') {
            char next = 0;
            if (m_device->peek(&next, 1) == 1 && next == '\n') {
                m_device->getChar(&next);
                ++m_bytesRead;
            }
            break;
        }
        if (bytes.size() >= m_maxLineLength) {
            m_error = QStringLiteral("line %1 is longer than %2 characters").arg(m_lineNumber + 1).arg(m_maxLineLength);
            return false;
        }
        bytes.append(c);
    }
    if (!any) {
        // The end of the file, or a read that failed before it.
        if (!m_device->atEnd())
            m_error = m_device->errorString();
        return false;
    }
    ++m_lineNumber;
    line = QString::fromLatin1(bytes);
    return true;
}
