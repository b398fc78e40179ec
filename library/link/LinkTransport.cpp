#include "library/link/LinkTransport.h"

#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"

#include <algorithm>

namespace {

// A bus that keeps handing lines nobody asked for is given up on after this many in one read.
constexpr int kMaxLinesOn = 64;
// The answers still expected that are remembered.
constexpr std::size_t kMaxExpected = 64;
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

LinkTransport::Heard LinkTransport::classify(const Line& line) const
{
    if (line.kind == Line::None)
        return Heard::Nothing;
    if (line.kind == Line::Broken || isGarbage(line.text))
        return Heard::Broken;
    return isIdentification(line.text) ? Heard::Identification : Heard::Reply;
}

bool LinkTransport::isGarbage(const QString& line)
{
    return std::any_of(line.cbegin(), line.cend(), [](QChar c) {
        return c.unicode() < 0x20 && c != QLatin1Char('\r') && c != QLatin1Char('\n') && c != QLatin1Char('\t');
    });
}

void LinkTransport::noteWritten(const QByteArray& command, bool plainSend)
{
    const bool identification = asksIdentification(command);
    if (!identification && plainSend)
        return; // a command: no answer, or one nothing here counts (a terminal reads it)
    m_expected.push_back(Expected{identification, plainSend});
    // Answers lost long ago need not be remembered: a line matches the first one of its kind.
    while (m_expected.size() > kMaxExpected)
        m_expected.pop_front();
}

int LinkTransport::matchAnswer(bool identification, bool* plainSend)
{
    const auto it = std::find_if(m_expected.begin(), m_expected.end(),
                                 [identification](const Expected& e) { return e.identification == identification; });
    if (it == m_expected.end())
        return -1;
    const bool last = it + 1 == m_expected.end();
    if (plainSend)
        *plainSend = it->plainSend;
    // The controller answers in order: the answers of another kind before it were lost.
    m_expected.erase(m_expected.begin(), it + 1);
    return last ? 1 : 0;
}

bool LinkTransport::repliesOwed() const
{
    return std::any_of(m_expected.begin(), m_expected.end(), [](const Expected& e) { return !e.identification; });
}

void LinkTransport::settle()
{
    m_strayLines = false;
    m_untrackedSends = false;
}

void LinkTransport::reopened(bool forgetIdentification)
{
    m_strayLines = true;
    if (forgetIdentification) {
        m_identification.clear();
        m_identificationExact = false;
    }
}

void LinkTransport::learnIdentification(const QString& line)
{
    m_identification = bareLine(line);
    m_identificationExact = !readsAsIdentification(line);
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
        const Heard heard = classify(line);
        if (heard == Heard::Identification || heard == Heard::Reply)
            matchAnswer(heard == Heard::Identification);
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
        switch (classify(line)) {
        case Heard::Identification:
            matchAnswer(true);
            break;
        case Heard::Reply:
            if (matchAnswer(false) < 0)
                m_strayLines = true; // nothing asked for it
            break;
        default:
            m_strayLines = true; // the rest of it may still come
            break;
        }
    }
}

void LinkTransport::settleHeldLines()
{
    // What a read brought after the reply's line end answers no query.
    while (!m_heldLines.isEmpty()) {
        const Heard heard = classify(m_heldLines.takeFirst());
        if (heard == Heard::Identification)
            matchAnswer(true);
        else if (heard != Heard::Nothing)
            m_strayLines = true;
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
        m_strayLines = true;
        return -1;
    }
    noteWritten(command, false);
    const bool asked = asksIdentification(command);
    const qint64 deadline = replyDeadline(limitMs);
    for (int lines = 0; lines < kMaxLinesOn; ++lines) {
        const Line got = takeLine(deadline);
        const Heard heard = classify(got);
        // Nothing in time: the answer stays owed.
        if (heard == Heard::Nothing)
            return -1;
        if (heard == Heard::Broken) {
            m_strayLines = true;
            return -1;
        }
        if (heard == Heard::Identification) {
            matchAnswer(true);
            if (!asked)
                continue; // it answers no query but an identification's
            // Whichever identification query it answers, it is the controller's identification.
            settleHeldLines();
            reply = replyText(got.text);
            return 0;
        }
        // An identification query's answer is an identification or nothing: any other line
        // answers a query given up on, or nothing asked for it.
        const int match = matchAnswer(false);
        if (match == 1 && !asked) {
            settleHeldLines();
            reply = replyText(got.text);
            return 0;
        }
        // The answer of a query given up on, or a line nothing asked for.
        if (match < 0)
            m_strayLines = true;
    }
    m_strayLines = true;
    return -1;
}

LinkTransport::Resync LinkTransport::resynchronise(qint64 deadline)
{
    const ReadOnUntilDeadline patience(m_readOnUntilDeadline);
    // After sends whose answers nothing counts, only its own identification shows the line clear.
    const bool ownOnly = m_untrackedSends;
    m_untrackedSends = false;
    // Owing only the reply of a query given up on, it waits a little for that first: a reply just
    // late puts the line in step with nothing more asked, so a line whose every other answer is
    // late does not keep losing the queries that follow the identifications it is asked for.
    if (!ownOnly && !m_strayLines && owedReplyWaitMs() > 0
        && awaitOwedReplies(std::min(deadline, platform::Clock::tickMs() + owedReplyWaitMs())))
        return Resync::InStep;
    discardWaitingLines();
    if (writeCommand(QByteArray(IdentificationQuery)) != 0)
        return Resync::Unwritten;
    noteWritten(QByteArray(IdentificationQuery), false);
    // Whole lines only, up to the identification that settles the line, show a controller that
    // answers; a broken one shows a line that garbles or dribbles, whatever comes after it.
    bool clean = true;
    bool identified = false;
    for (int lines = 0; lines < kMaxLinesOn; ++lines) {
        const Heard heard = classify(takeLine(deadline));
        if (heard == Heard::Nothing)
            break;
        if (heard == Heard::Broken) {
            clean = false;
            continue;
        }
        if (heard == Heard::Reply) {
            matchAnswer(false);
            continue;
        }
        matchAnswer(true);
        identified = true;
        // Once no reply is owed, all that can still come are identifications, which answer no
        // other query.
        if (!repliesOwed() && (!ownOnly || m_expected.empty())) {
            m_heldLines.clear();
            m_strayLines = false;
            return clean ? Resync::Answered : Resync::InStep;
        }
    }
    // An identification that came may have answered one asked earlier and lost, with the reply
    // of a query given up on still to come before this one's: not in step, but not silent.
    return identified && clean ? Resync::Unsettled : Resync::Failed;
}

bool LinkTransport::awaitOwedReplies(qint64 deadline)
{
    for (int lines = 0; lines < kMaxLinesOn && repliesOwed(); ++lines) {
        const Heard heard = classify(takeLine(deadline));
        if (heard == Heard::Nothing)
            return false;
        const bool identification = heard == Heard::Identification;
        if (heard == Heard::Broken || (matchAnswer(identification) < 0 && !identification)) {
            m_strayLines = true;
            return false;
        }
    }
    return inStep();
}

bool LinkTransport::askOpeningIdentification(QString& identification, QString& last)
{
    identification.clear();
    last.clear();
    if (writeQuery(QByteArray(IdentificationQuery)) != 0)
        return false;
    noteWritten(QByteArray(IdentificationQuery), false);
    const qint64 deadline = replyDeadline(ReplyLimitMs);
    for (int lines = 0; lines < kMaxLinesOn; ++lines) {
        const Line got = takeLine(deadline);
        // With none learned, a line that reads as an identification is one.
        const Heard heard = classify(got);
        if (heard == Heard::Nothing)
            break;
        if (heard == Heard::Broken)
            continue;
        if (heard == Heard::Identification) {
            matchAnswer(true);
            identification = got.text;
            if (!repliesOwed())
                break;
        } else if (matchAnswer(false) < 0) {
            // Not the reply of a query given up on: it may be this controller's identification.
            last = got.text;
        }
    }
    return true;
}

int LinkTransport::identify(QString& reply)
{
    reply.clear();
    m_identification.clear();
    m_identificationExact = false;
    // A reply still on its way from before the opening answers nothing.
    m_strayLines = true;
    const ReadOnUntilDeadline patience(m_readOnUntilDeadline);
    QString identification;
    QString last;
    if (!askOpeningIdentification(identification, last))
        return -1;
    // A controller whose answer never reads as an identification is known by the last line that
    // came and was owed to no earlier query. A reply this control never counted (asked by another
    // program, or before the control was made) may stand there, so the line counts only when a
    // second question brings it again.
    if (identification.isEmpty() && !last.isEmpty()) {
        const QString first = bareLine(last);
        if (!askOpeningIdentification(identification, last))
            return -1;
        if (bareLine(last) != first)
            last.clear();
    }
    if (!identification.isEmpty()) {
        learnIdentification(identification);
        if (!repliesOwed()) {
            m_heldLines.clear();
            settle();
        }
        reply = replyText(identification);
        return 0;
    }
    if (!last.isEmpty()) {
        learnIdentification(last);
        m_expected.clear();
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
        m_strayLines = true;
    QString kept;
    QString rest = text;
    while (!rest.isEmpty()) {
        const int lineFeed = int(rest.indexOf(QLatin1Char('\n')));
        const int end = lineFeed < 0 ? int(rest.size()) : lineFeed + 1;
        const QString line = rest.left(end);
        rest.remove(0, end);
        // A part without its line end is handed over as it came, and answers nothing.
        const Heard heard = classify(Line{lineFeed < 0 ? Line::Broken : Line::Whole, line});
        if (heard == Heard::Identification) {
            // A plain send's identification is this reader's; a query's, given up on, is nobody's.
            bool plainSend = false;
            if (matchAnswer(true, &plainSend) < 0 || !plainSend)
                continue;
        } else if (heard == Heard::Reply && matchAnswer(false) >= 0) {
            continue; // the answer of a query given up on: not this reader's
        }
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
