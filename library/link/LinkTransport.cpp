#include "library/link/LinkTransport.h"

#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"

#include <algorithm>

namespace {

// A bus that keeps handing identifications is given up on after a bounded number of reads.
constexpr int kMaxReadsOn = 64;
// A read that brought nothing is tried again after this long, within a resynchronisation's limit.
constexpr int kReadAgainMs = 10;
// With no identification known, a line that begins so reads as one.
constexpr const char* kIdentificationMark = "KVL";

// The first word of an identification: the controller's model.
QStringView modelWord(const QString& identification)
{
    const qsizetype blank = identification.indexOf(QLatin1Char(' '));
    return QStringView(identification).left(blank < 0 ? identification.size() : blank);
}

// A line without its line end and blanks.
QString bareLine(const QString& line)
{
    QString text = line;
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    return LinkTransport::trimBlanks(text);
}

} // namespace

bool LinkTransport::acceptsIdentification(const QString&, int status) const
{
    return status == 0;
}

QString LinkTransport::trimBlanks(const QString& text)
{
    int begin = 0;
    int end = int(text.size());
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

QString LinkTransport::trimToLineFeed(const QString& text)
{
    const int lineFeed = int(text.indexOf(QLatin1Char('\n')));
    if (lineFeed >= 0)
        return text.left(lineFeed + 1);
    return trimBlanks(text);
}

void LinkTransport::setIdentification(const QString& reply)
{
    m_identification = bareLine(reply);
}

void LinkTransport::startInStep()
{
    m_owesResync = false;
    m_lateIdentifications = 0;
    m_identification.clear();
    m_lines.clear();
}

bool LinkTransport::asksIdentification(const QByteArray& command)
{
    // The controller names itself to the query and to the plain command alike.
    const QByteArray text = command.trimmed();
    return text == QByteArrayLiteral("VE?") || text == QByteArrayLiteral("VE");
}

bool LinkTransport::isIdentification(const QString& line) const
{
    const QString text = bareLine(line);
    if (m_identification.isEmpty())
        return text.startsWith(QLatin1String(kIdentificationMark));
    // The model names the controller; the version after it changes with a firmware download.
    return modelWord(text) == modelWord(m_identification);
}

bool LinkTransport::isLateIdentification(const QString& line, bool askedIdentification)
{
    if (m_lateIdentifications == 0 || askedIdentification || !isIdentification(line))
        return false;
    --m_lateIdentifications;
    return true;
}

void LinkTransport::learnIdentification(const QString& line, bool askedIdentification)
{
    if (askedIdentification && m_identification.isEmpty() && isIdentification(line))
        setIdentification(line);
}

bool LinkTransport::isGarbage(const QString& line)
{
    return std::any_of(line.cbegin(), line.cend(), [](QChar c) {
        return c.unicode() < 0x20 && c != QLatin1Char('\r') && c != QLatin1Char('\n') && c != QLatin1Char('\t');
    });
}

bool LinkTransport::resynchronise()
{
    m_lines.clear();
    if (send(QByteArray(IdentificationQuery)) != 0)
        return false;
    ++m_lateIdentifications;
    const qint64 deadline = replyDeadline();
    QString line;
    while (nextLine(line, deadline)) {
        if (isIdentification(line)) {
            // Whichever of the identification queries it answers, one fewer is to come.
            --m_lateIdentifications;
            // Lines the same read brought after it can only be identifications.
            m_lines.clear();
            learnIdentification(line, true);
            m_owesResync = false;
            return true;
        }
    }
    m_lines.clear();
    return false;
}

qint64 LinkTransport::replyDeadline() const
{
    return platform::Clock::tickMs() + ResyncLimitMs;
}

bool LinkTransport::nextLine(QString& line, qint64 deadline)
{
    while (m_lines.isEmpty()) {
        Message got;
        readMessage(got);
        QString text = got.text;
        while (!text.isEmpty()) {
            const int lineFeed = int(text.indexOf(QLatin1Char('\n')));
            const int end = lineFeed < 0 ? int(text.size()) : lineFeed + 1;
            if (!trimBlanks(text.left(end)).isEmpty())
                m_lines.append(text.left(end));
            text.remove(0, end);
        }
        if (!m_lines.isEmpty())
            break;
        if (platform::Clock::tickMs() >= deadline)
            return false;
        platform::Clock::sleepMs(kReadAgainMs);
    }
    line = m_lines.takeFirst();
    return true;
}

int LinkTransport::readMessage(Message& got)
{
    got = Message{};
    return -1;
}

int LinkTransport::replyOfMessage(const QByteArray& command, int status, Message got, QString& reply)
{
    reply.clear();
    const bool askedIdentification = asksIdentification(command);
    for (int reads = 0;; ++reads) {
        const int lineFeed = int(got.text.indexOf(QLatin1Char('\n')));
        const QString line = lineFeed < 0 ? got.text : got.text.left(lineFeed + 1);
        const QString rest = lineFeed < 0 ? QString() : got.text.mid(lineFeed + 1);
        if (lineFeed >= 0 && isLateIdentification(line, askedIdentification)) {
            // An identification this query did not ask for came late: the reply follows it.
            got.text = rest;
            if (trimBlanks(got.text).isEmpty()) {
                if (reads >= kMaxReadsOn) {
                    oweResync();
                    return -1;
                }
                readMessage(got);
            }
            continue;
        }
        const bool cutOff = got.filled && lineFeed < 0;
        if (trimBlanks(line).isEmpty() || cutOff || isGarbage(line)) {
            oweResync();
            return -1;
        }
        // What follows the reply's line end answers no query.
        if (got.filled || !trimBlanks(rest).isEmpty())
            oweResync();
        learnIdentification(line, askedIdentification);
        reply = line;
        return status;
    }
}

void LinkTransport::noteSeparateRead(const Message& got)
{
    if (trimBlanks(got.text).isEmpty() || (got.filled && !got.text.endsWith(QLatin1Char('\n'))))
        oweResync();
}

void LinkTransport::showBox(const QString& prompt, int style, const QString& title) const
{
    if (m_boxHandler)
        m_boxHandler(prompt, style, title);
    else
        platform::MsgBox(prompt, style, title);
}
