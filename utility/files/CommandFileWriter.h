#pragma once

#include <QSaveFile>
#include <QString>

// Writes a command file whole or not at all: the lines go to a temporary file beside the target,
// which replaces the target only when every line has been written. Lines are 8-bit text, each ended
// by CR LF. A writer destroyed without commit() leaves the target as it was.
class CommandFileWriter {
public:
    explicit CommandFileWriter(const QString& path);

    // False when the temporary file cannot be made (errorString() says why).
    bool open();
    // Appends one line and its CR LF; after a failure further lines are dropped.
    void writeLine(const QString& line);
    // Replaces the target with what was written; false (and the target unchanged) when any write
    // failed or the replacement did.
    bool commit();

    QString path() const { return m_path; }
    QString errorString() const { return m_error; }

private:
    QString m_path;
    QSaveFile m_file;
    QString m_error;
};
