#include "utility/files/CommandFileWriter.h"

#include <QByteArray>

CommandFileWriter::CommandFileWriter(const QString& path)
    : m_path(path)
    , m_file(path)
{
    // Never write into the target in place: a failure must leave the old file.
    m_file.setDirectWriteFallback(false);
}

bool CommandFileWriter::open()
{
    // Unbuffered, so every write reports what reached the file: a buffered flush that runs out of
    // disk space part way is not reported as a failure.
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return true;
    m_error = m_file.errorString();
    return false;
}

void CommandFileWriter::writeLine(const QString& line)
{
    if (!m_error.isEmpty() || !m_file.isOpen())
        return;
    const QByteArray bytes = line.toLatin1() + QByteArrayLiteral("\r\n");
    qint64 done = 0;
    while (done < bytes.size()) {
        // A short write is retried: the retry fails with the system's reason (a full disk).
        const qint64 written = m_file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            m_error = m_file.errorString();
            m_file.cancelWriting();
            return;
        }
        done += written;
    }
}

bool CommandFileWriter::commit()
{
    if (!m_error.isEmpty())
        return false;
    if (!m_file.isOpen()) {
        m_error = QStringLiteral("the file was not open");
        return false;
    }
    if (m_file.commit())
        return true;
    m_error = m_file.errorString();
    return false;
}
