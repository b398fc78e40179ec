#include "library/link/LinkTransport.h"

#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"

#include <algorithm>

namespace {

// A bus that keeps handing lines nobody asked for is given up on after this many in one read.
constexpr int kMaxLinesOn = 64;
// A read that brought nothing is tried again after this long, within the read's limit.
constexpr int kReadAgainMs = 10;
const QLatin1String kVersionWord("Version ");

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

// Sets a flag for the life of a read, cleared on every way out.
class ReadOnUntilDeadline {
public:
    explicit ReadOnUntilDeadline(bool& flag) : m_flag(flag) { m_flag = true; }
    ~ReadOnUntilDeadline() { m_flag = false; }
    ReadOnUntilDeadline(const ReadOnUntilDeadline&) = delete;
    ReadOnUntilDeadline& operator=(const ReadOnUntilDeadline&) = delete;

private:
    bool& m_flag;
};

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

bool LinkTransport::asksIdentification(const QByteArray& command)
{
    const QByteArray text = command.trimmed();
    return text == QByteArrayLiteral("VE?") || text == QByteArrayLiteral("VE");
}

bool LinkTransport::readsAsIdentification(const QString& line)
{
    const QString text = bareLine(line);
    const qsizetype blank = text.indexOf(QLatin1Char(' '));
    if (blank <= 0 || isGarbage(text))
        return false;
    const QStringView rest = QStringView(text).mid(blank + 1);
    return rest.startsWith(kVersionWord) && rest.size() > kVersionWord.size();
}

bool LinkTransport::isIdentification(const QString& line) const
{
    if (m_identificationExact)
        return bareLine(line) == m_identification;
    if (!readsAsIdentification(line))
        return false;
    // The model names the controller; the version after it changes with a firmware download.
    return m_identification.isEmpty() || modelWord(bareLine(line)) == modelWord(m_identification);
}

bool LinkTransport::isGarbage(const QString& line)
{
    return std::any_of(line.cbegin(), line.cend(), [](QChar c) {
        return c.unicode() < 0x20 && c != QLatin1Char('\r') && c != QLatin1Char('\n') && c != QLatin1Char('\t');
    });
}

void LinkTransport::noteWritten(const QByteArray& command, bool plainSend)
{
    if (asksIdentification(command))
        m_identificationRequests.push_back(plainSend);
}

bool LinkTransport::identificationCame()
{
    if (m_identificationRequests.empty())
        return false;
    const bool plainSend = m_identificationRequests.front();
    m_identificationRequests.pop_front();
    return plainSend;
}

void LinkTransport::settle()
{
    m_lineUnknown = false;
    m_repliesOwed = 0;
}

void LinkTransport::learnIdentification(const QString& line)
{
    m_identification = bareLine(line);
    m_identificationExact = !readsAsIdentification(line);
}

qint64 LinkTransport::lostIdentificationDeadline(qint64 deadline)
{
    // The controller answers in order and at once once it answers again: identifications still
    // counted that do not follow soon were lost. Taking a late one for lost costs nothing, as it
    // answers no other query.
    return std::min(deadline, platform::Clock::tickMs() + LostIdentificationWaitMs);
}

qint64 LinkTransport::replyDeadline(int limitMs) const
{
    return platform::Clock::tickMs() + limitMs;
}

// ---------------------------------------------------------------------------------------------
// Writes

int LinkTransport::send(const QByteArray& command)
{
    if (!inStep())
        discardWaitingLines();
    const int status = writeCommand(command);
    if (status == 0)
        noteWritten(command, true);
    return status;
}

QVariant LinkTransport::sendNoTerm(const QByteArray& command)
{
    if (!inStep())
        discardWaitingLines();
    const QVariant status = writeNoTerm(command);
    if (status.toInt() == 0)
        noteWritten(command, true);
    return status;
}

void LinkTransport::discardWaitingLines()
{
    Line line;
    while (takeWaitingLine(line)) {
        if (line.kind == Line::Whole && isIdentification(line.text))
            identificationCame();
    }
}

// ---------------------------------------------------------------------------------------------
// Reading lines

void LinkTransport::holdLinesOf(const Message& got)
{
    QString text = got.text;
    while (!text.isEmpty()) {
        const int lineFeed = int(text.indexOf(QLatin1Char('\n')));
        const int end = lineFeed < 0 ? int(text.size()) : lineFeed + 1;
        const QString part = text.left(end);
        text.remove(0, end);
        if (trimBlanks(part).isEmpty())
            continue;
        // A full buffer without a line end: the rest of that line comes with the next read.
        const bool cutOff = lineFeed < 0 && got.filled;
        m_heldLines.append(Line{cutOff ? Line::Broken : Line::Whole, part});
    }
}

LinkTransport::Line LinkTransport::takeLine(qint64 deadline)
{
    for (int reads = 0; m_heldLines.isEmpty(); ++reads) {
        Message got;
        // -1 is the driver's word for nothing yet; any other code but 0 is a failed read.
        const int code = readMessage(got);
        if (code != 0 && code != -1)
            return Line{Line::Broken, QString()};
        if (!trimBlanks(got.text).isEmpty()) {
            holdLinesOf(got);
            continue;
        }
        // A query's read that brought nothing has waited the driver's own time: the reply, if it
        // comes, comes to a later read.
        if (!m_readOnUntilDeadline || platform::Clock::tickMs() >= deadline)
            return Line{};
        platform::Clock::sleepMs(kReadAgainMs);
    }
    return m_heldLines.takeFirst();
}

bool LinkTransport::takeWaitingLine(Line& line)
{
    while (!m_heldLines.isEmpty()) {
        line = m_heldLines.takeFirst();
        if (line.kind != Line::None)
            return true;
    }
    return false;
}

int LinkTransport::readMessage(Message& got)
{
    got = Message{};
    return -1;
}

void LinkTransport::settleWaitingLines()
{
    Line line;
    while (takeWaitingLine(line)) {
        if (line.kind != Line::Whole || isGarbage(line.text))
            m_lineUnknown = true;
        else if (isIdentification(line.text))
            identificationCame();
        else if (m_repliesOwed > 0)
            --m_repliesOwed; // the reply of a query given up on: nothing else was asked since
        else
            m_lineUnknown = true;
    }
}

void LinkTransport::settleHeldLines()
{
    // What a read brought after the reply's line end answers no query.
    while (!m_heldLines.isEmpty()) {
        const Line line = m_heldLines.takeFirst();
        if (line.kind == Line::Whole && isIdentification(line.text))
            identificationCame();
        else if (line.kind != Line::None)
            m_lineUnknown = true;
    }
}

// ---------------------------------------------------------------------------------------------
// The exchanges

int LinkTransport::sendRead(const QByteArray& command, QString& reply, int limitMs)
{
    reply.clear();
    const int status = writeQuery(command);
    if (status == QueryNotSent)
        return QueryNotSent;
    if (status != 0) {
        // Whatever the driver did with it, its answer may still come.
        m_lineUnknown = true;
        return -1;
    }
    noteWritten(command, false);
    const bool asked = asksIdentification(command);
    qint64 deadline = replyDeadline(limitMs);
    // An identification query drops what comes before its own identification, as a
    // resynchronisation does; one the count takes for an earlier query's is kept in case the
    // earlier one was lost.
    QString earlier;
    bool lineAfterEarlier = false;
    for (int lines = 0; lines < kMaxLinesOn; ++lines) {
        const Line got = takeLine(deadline);
        if (got.kind == Line::None) {
            if (asked && !earlier.isEmpty() && !lineAfterEarlier) {
                m_identificationRequests.clear();
                reply = replyText(earlier);
                return 0;
            }
            // Only identifications were dropped before it: this query's reply is owed. An
            // identification query that met other lines cannot say what they answered.
            if (!asked)
                ++m_repliesOwed;
            else if (lines > 0)
                m_lineUnknown = true;
            return -1;
        }
        if (got.kind == Line::Broken || isGarbage(got.text)) {
            m_lineUnknown = true;
            return -1;
        }
        if (isIdentification(got.text)) {
            identificationCame();
            if (!asked)
                continue; // it answers no query but its own
            if (identificationsToCome() > 0) {
                earlier = got.text;
                lineAfterEarlier = false;
                deadline = lostIdentificationDeadline(deadline);
                continue;
            }
            settleHeldLines();
            reply = replyText(got.text);
            return 0;
        }
        if (asked) {
            // With no other identification to come, the line in step is this query's answer,
            // whatever the controller calls itself; otherwise it is one nothing here asked for.
            if (identificationsToCome() == 1 && earlier.isEmpty() && lines == 0) {
                identificationCame();
                settleHeldLines();
                reply = replyText(got.text);
                return 0;
            }
            lineAfterEarlier = true;
            continue;
        }
        settleHeldLines();
        reply = replyText(got.text);
        return 0;
    }
    m_lineUnknown = true;
    return -1;
}

LinkTransport::Resync LinkTransport::resynchronise(qint64 deadline)
{
    const ReadOnUntilDeadline patience(m_readOnUntilDeadline);
    discardWaitingLines();
    if (writeCommand(QByteArray(IdentificationQuery)) != 0)
        return Resync::Unwritten;
    noteWritten(QByteArray(IdentificationQuery), false);
    bool sawIdentification = false;
    bool lineAfter = false;
    for (int lines = 0; lines < kMaxLinesOn; ++lines) {
        const Line got = takeLine(deadline);
        if (got.kind == Line::None)
            break;
        if (got.kind == Line::Whole && !isGarbage(got.text) && isIdentification(got.text)) {
            identificationCame();
            sawIdentification = true;
            lineAfter = false;
            deadline = lostIdentificationDeadline(deadline);
            // Its own is the last to come.
            if (identificationsToCome() == 0) {
                m_heldLines.clear();
                settle();
                return Resync::OwnIdentification;
            }
        } else {
            lineAfter = true;
        }
    }
    // Only identifications were still counted after the last one that came: those were lost.
    if (sawIdentification && !lineAfter) {
        m_identificationRequests.clear();
        settle();
        return Resync::OthersLost;
    }
    return Resync::Failed;
}

int LinkTransport::identify(QString& reply)
{
    reply.clear();
    m_identification.clear();
    m_identificationExact = false;
    // A reply still on its way from before the opening answers nothing.
    m_lineUnknown = true;
    const ReadOnUntilDeadline patience(m_readOnUntilDeadline);
    const int status = writeQuery(QByteArray(IdentificationQuery));
    if (status != 0)
        return -1;
    noteWritten(QByteArray(IdentificationQuery), false);
    qint64 deadline = replyDeadline(ReplyLimitMs);
    QString identification;
    QString last;
    bool lineAfter = false;
    for (int lines = 0; lines < kMaxLinesOn; ++lines) {
        const Line got = takeLine(deadline);
        if (got.kind == Line::None)
            break;
        if (got.kind == Line::Whole && readsAsIdentification(got.text)) {
            identificationCame();
            identification = got.text;
            lineAfter = false;
            deadline = lostIdentificationDeadline(deadline);
            if (identificationsToCome() == 0)
                break;
        } else {
            if (got.kind == Line::Whole && !isGarbage(got.text))
                last = got.text;
            lineAfter = true;
        }
    }
    if (!identification.isEmpty()) {
        learnIdentification(identification);
        if (identificationsToCome() == 0 || !lineAfter) {
            m_identificationRequests.clear();
            m_heldLines.clear();
            settle();
        }
        reply = replyText(identification);
        return 0;
    }
    // A controller whose answer never reads as an identification: the last line that came
    // answered the last query asked.
    if (!last.isEmpty()) {
        learnIdentification(last);
        m_identificationRequests.clear();
        m_heldLines.clear();
        settle();
        reply = replyText(last);
        return 0;
    }
    return -1;
}

QString LinkTransport::separateReadText(const QString& text, bool cutOff)
{
    if (trimBlanks(text).isEmpty() || cutOff)
        m_lineUnknown = true;
    QString kept;
    QString rest = text;
    while (!rest.isEmpty()) {
        const int lineFeed = int(rest.indexOf(QLatin1Char('\n')));
        const int end = lineFeed < 0 ? int(rest.size()) : lineFeed + 1;
        const QString line = rest.left(end);
        rest.remove(0, end);
        // A plain send's identification is this reader's; a query's, given up on, is nobody's.
        if (lineFeed >= 0 && isIdentification(line) && !identificationCame())
            continue;
        kept += line;
    }
    return kept;
}

void LinkTransport::showBox(const QString& prompt, int style, const QString& title) const
{
    if (m_boxHandler)
        m_boxHandler(prompt, style, title);
    else
        platform::MsgBox(prompt, style, title);
}
