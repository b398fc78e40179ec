#include "sim/SimController.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <utility>

namespace {

QByteArray key(int axis, const QByteArray& mnemonic)
{
    return QByteArray::number(axis) + ':' + mnemonic;
}

bool isBlank(char c) { return c == ' '; }

QByteArray trimBlanks(const QByteArray& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

// The leading decimal number of a value text ("2.5", "-2", " .5", "1e3"); independent of locale.
bool leadingNumber(const QByteArray& text, double* number)
{
    qsizetype i = 0;
    while (i < text.size() && isBlank(text.at(i)))
        ++i;
    const qsizetype begin = i;
    if (i < text.size() && (text.at(i) == '+' || text.at(i) == '-'))
        ++i;
    qsizetype digits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text.at(i)))) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text.at(i) == '.') {
        ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text.at(i)))) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (i < text.size() && (text.at(i) == 'e' || text.at(i) == 'E')) {
        qsizetype j = i + 1;
        if (j < text.size() && (text.at(j) == '+' || text.at(j) == '-'))
            ++j;
        if (j < text.size() && std::isdigit(static_cast<unsigned char>(text.at(j)))) {
            while (j < text.size() && std::isdigit(static_cast<unsigned char>(text.at(j))))
                ++j;
            i = j;
        }
    }
    bool ok = false;
    const double value = text.mid(begin, i - begin).toDouble(&ok);
    if (ok && number)
        *number = value;
    return ok;
}

// Hexadecimal digits after any blanks, up to the first other character; wraps at 32 bits.
quint32 hexValue(const QByteArray& text)
{
    qsizetype i = 0;
    while (i < text.size() && isBlank(text.at(i)))
        ++i;
    quint32 value = 0;
    for (; i < text.size(); ++i) {
        const char c = text.at(i);
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            break;
        value = (value << 4) | static_cast<quint32>(digit);
    }
    return value;
}

QByteArray hexText(quint32 word)
{
    return QByteArray::number(word, 16).toUpper() + 'H';
}

const char Etx = '\x03';

} // namespace

SimController::SimController(QObject* parent)
    : QObject(parent)
    , m_stepTimer(new QTimer(this))
{
    m_clock.start();
    connect(m_stepTimer, &QTimer::timeout, this, [this] { step(); });
    buildCommandTable();
}

SimController::~SimController() = default;

// The mnemonics that do more than store and answer a value.
void SimController::buildCommandTable()
{
    auto onAxes = [this](int axisNumber, const std::function<void(int)>& f) {
        if (axisNumber != 0) {
            f(axisNumber);
            return;
        }
        // Axis 0 addresses the whole controller.
        for (int a = 1; a <= m_axisCount; ++a)
            f(a);
        for (auto it = m_axes.keyBegin(); it != m_axes.keyEnd(); ++it)
            if (*it > m_axisCount)
                f(*it);
    };

    m_commands.insert("VE", Command{[this](int) { return m_model; }, nullptr, true});
    m_commands.insert("TP", Command{[this](int a) { return QByteArray::number(position(a), 'f', 4); },
                                    nullptr, true});
    m_commands.insert("MD", Command{[this](int a) { return QByteArray(isMoving(a) ? "0" : "1"); },
                                    nullptr, false});
    m_commands.insert("MO", Command{[this](int a) { return QByteArray(motorOn(a) ? "1" : "0"); },
                                    [this, onAxes](int a, const QByteArray&) {
                                        onAxes(a, [this](int n) { axis(n).motorOn = true; });
                                    },
                                    false});
    m_commands.insert("MF", Command{nullptr,
                                    [this, onAxes](int a, const QByteArray&) {
                                        onAxes(a, [this](int n) {
                                            Axis& x = axis(n);
                                            x.motorOn = false;
                                            x.jogDirection = 0;
                                            x.stepsLeft = 0;
                                            x.target = x.position;
                                        });
                                    },
                                    false});
    m_commands.insert("ST", Command{nullptr,
                                    [this, onAxes](int a, const QByteArray&) {
                                        onAxes(a, [this](int n) { stopAxis(n); });
                                    },
                                    false});
    m_commands.insert("PA", Command{nullptr,
                                    [this](int a, const QByteArray& value) {
                                        double target;
                                        if (a != 0 && leadingNumber(value, &target))
                                            moveTo(a, target);
                                    },
                                    false});
    m_commands.insert("PR", Command{nullptr,
                                    [this](int a, const QByteArray& value) {
                                        double distance;
                                        if (a != 0 && leadingNumber(value, &distance))
                                            moveTo(a, position(a) + distance);
                                    },
                                    false});
    m_commands.insert("MV", Command{nullptr,
                                    [this](int a, const QByteArray& value) {
                                        if (a == 0 || (value != "+" && value != "-"))
                                            return;
                                        Axis& x = axis(a);
                                        x.stepsLeft = 0;
                                        x.jogDirection = value == "+" ? 1 : -1;
                                    },
                                    false});
    // A home search ends on the home position.
    m_commands.insert("OR", Command{nullptr,
                                    [this](int a, const QByteArray&) {
                                        if (a != 0)
                                            moveTo(a, 0.0);
                                    },
                                    false});
    m_commands.insert("DH", Command{nullptr,
                                    [this](int a, const QByteArray& value) {
                                        double home = 0.0;
                                        leadingNumber(value, &home);
                                        if (a != 0)
                                            setPosition(a, home);
                                    },
                                    false});
    m_commands.insert("TB", Command{[this](int) { return popError(); }, nullptr, true});
    m_commands.insert("PH", Command{[this](int) {
                                        return hexText(m_status1) + ", " + hexText(m_status2);
                                    },
                                    nullptr, true});
    m_commands.insert("RA", Command{nullptr, nullptr, true});
    m_commands.insert("RS", Command{nullptr, [this](int, const QByteArray&) { resetController(); },
                                    false});
    m_commands.insert("SM", Command{nullptr, [this](int, const QByteArray&) { saveToFlash(); },
                                    false});
    m_commands.insert("EP", Command{nullptr,
                                    [this](int a, const QByteArray&) {
                                        m_programMode = true;
                                        m_programNumber = a == 0 ? 1 : a;
                                        m_programs[m_programNumber].clear();
                                    },
                                    false});
    m_commands.insert("LP", Command{[this](int) { return programListing(); }, nullptr, true, true});
    m_commands.insert("QP", Command{nullptr, [this](int, const QByteArray&) { m_programMode = false; },
                                    false});
    buildGroupCommands();
}

// Interpolation groups: "gHN1,2" defines group g, "gHN?" lists its members ("1, 2") or answers
// "No data" and leaves an error when it has none, "gHX" deletes it, "gHZ" answers its member
// count. The group parameters (HV, HA, HD, HJ) are stored and answered like any value.
void SimController::buildGroupCommands()
{
    m_commands.insert("HN", Command{[this](int g) -> QByteArray {
                                        const QByteArray members = m_values.value(key(g, "HN"));
                                        if (members.isEmpty()) {
                                            pushError(41, "Group not defined");
                                            return "No data";
                                        }
                                        return members.split(',').join(", ");
                                    },
                                    nullptr, false});
    m_commands.insert("HX", Command{nullptr, [this](int g, const QByteArray&) { m_values.remove(key(g, "HN")); },
                                    false});
    m_commands.insert("HZ", Command{[this](int g) -> QByteArray {
                                        const QByteArray members = m_values.value(key(g, "HN"));
                                        return QByteArray::number(members.isEmpty() ? 0 : members.count(',') + 1);
                                    },
                                    nullptr, true});
}

// --- the link ------------------------------------------------------------------------------------

void SimController::receive(const QByteArray& bytes, bool endOfMessage)
{
    if (m_vanished)
        return;
    m_received += bytes;
    trimLog();
    qsizetype i = 0;
    while (i < bytes.size() && !m_vanished) {
        if (m_download == DownloadBytes) {
            const qsizetype n = std::min<qint64>(m_bytesToCome, bytes.size() - i);
            m_downloadData += bytes.mid(i, n);
            i += n;
            m_bytesToCome -= n;
            if (m_bytesToCome <= 0)
                m_download = DownloadNone;
            m_lastEndedWithCr = false;
            continue;
        }
        const char c = bytes.at(i++);
        if (c == '\n' && m_lastEndedWithCr && m_partial.isEmpty()) {
            // The LF of a CR LF pair belongs to the line its CR ended.
            m_lastEndedWithCr = false;
            if (!m_rawLines.isEmpty())
                m_rawLines.last() += '\n';
            if (m_download == DownloadLines && !m_downloadData.isEmpty()
                && m_downloadData.endsWith('\r'))
                m_downloadData += '\n';
            continue;
        }
        m_partial += c;
        m_lastEndedWithCr = false;
        if (c == '\r' || c == '\n') {
            const QByteArray raw = m_partial;
            m_partial.clear();
            m_lastEndedWithCr = c == '\r';
            if (std::exchange(m_partialOverflowed, false))
                continue; // the end of a line too long to take: nothing of it is acted on
            lineComplete(raw, 1);
        } else if (m_logBytes >= 0 && m_partial.size() > m_logBytes) {
            // A bounded controller does not hold a line without end: it drops it to its end.
            m_partial.clear();
            m_partialOverflowed = true;
        }
    }
    // The end of a bus write ends its line; on a stream an image's ETX line comes without CR.
    if (!m_partial.isEmpty() && !m_vanished
        && (endOfMessage || (m_download == DownloadLines && m_partial.contains(Etx)))) {
        const QByteArray raw = m_partial;
        m_partial.clear();
        m_lastEndedWithCr = false;
        if (!std::exchange(m_partialOverflowed, false))
            lineComplete(raw, 0);
    }
}

void SimController::lineComplete(const QByteArray& raw, int terminatorLength)
{
    const QByteArray line = raw.left(raw.size() - terminatorLength);
    m_lines.append(line);
    m_rawLines.append(raw);
    trimLog();
    emit lineReceived(line);
    if (m_vanished)
        return;
    if (m_vanishAfter > 0 && --m_vanishAfter == 0) {
        m_vanishAfter = -1;
        vanish();
        return;
    }
    if (m_download != DownloadNone)
        handleDownloadLine(line, raw);
    else
        execute(line);
}

void SimController::execute(const QByteArray& line)
{
    const auto override = m_replies.constFind(line);
    const bool overridden = override != m_replies.constEnd();

    if (line.startsWith("Download ") && !m_programMode) {
        m_downloadTarget = trimBlanks(line.mid(9));
        m_downloadData.clear();
        m_download = m_downloadTarget == "8386" ? DownloadCount : DownloadLines;
        if (overridden)
            queueRaw(override.value());
        else
            answer(m_readyReply);
        return;
    }

    qsizetype i = 0;
    while (i < line.size() && isBlank(line.at(i)))
        ++i;
    int axisNumber = 0;
    while (i < line.size() && std::isdigit(static_cast<unsigned char>(line.at(i)))) {
        axisNumber = axisNumber * 10 + (line.at(i) - '0');
        ++i;
        if (axisNumber > MaxAxis)
            return; // not a command line
    }
    while (i < line.size() && isBlank(line.at(i)))
        ++i;
    if (i + 2 > line.size() || !std::isalpha(static_cast<unsigned char>(line.at(i)))
        || !std::isalpha(static_cast<unsigned char>(line.at(i + 1)))) {
        if (m_programMode)
            m_programs[m_programNumber].append(line);
        else if (overridden)
            queueRaw(override.value());
        return;
    }
    const QByteArray mnemonic = line.mid(i, 2).toUpper();
    const QByteArray rest = trimBlanks(line.mid(i + 2));
    // A question mark anywhere makes the line a query: "ZZ9?" asks, it never sets ZZ to 9.
    const bool query = rest.contains('?');
    const QByteArray value = query ? QByteArray() : rest;

    // Lines typed in program-entry mode are stored in the program, not run.
    if (m_programMode && mnemonic != "QP") {
        m_programs[m_programNumber].append(line);
        return;
    }

    const auto command = m_commands.constFind(mnemonic);
    const bool known = command != m_commands.constEnd();
    if (query || (value.isEmpty() && known && command->bareQuery)) {
        if (overridden)
            queueRaw(override.value());
        else if (known && command->query && command->rawReply)
            queueRaw(command->query(axisNumber));
        else if (known && command->query)
            answer(command->query(axisNumber));
        else
            answer(storedValue(axisNumber, mnemonic));
        return;
    }
    if (!value.isEmpty())
        setValue(axisNumber, mnemonic, value);
    if (known && command->act)
        command->act(axisNumber, value);
    if (overridden)
        queueRaw(override.value());
}

void SimController::handleDownloadLine(const QByteArray& line, const QByteArray& raw)
{
    if (m_download == DownloadCount) {
        double count = 0;
        leadingNumber(line, &count);
        // Checked before it becomes an integer: "1e300" has no integer to become.
        if (!(count >= 1 && count <= double(MaxDownloadCount)) || count != std::floor(count)) {
            m_download = DownloadNone;
            pushError(7, "Parameter out of range");
            return;
        }
        m_bytesToCome = static_cast<qint64>(count);
        m_download = DownloadBytes;
        return;
    }
    m_downloadData += raw;
    const bool fpga = m_downloadTarget == "420" || m_downloadTarget == "220";
    if (line.contains(Etx) || (fpga && trimBlanks(line) == ":00000001FF"))
        finishDownload();
}

void SimController::finishDownload()
{
    if (m_download != DownloadLines)
        return;
    m_download = DownloadNone;
    answer(m_doneReply);
}

void SimController::setDownloadReplies(const QByteArray& ready, const QByteArray& done)
{
    m_readyReply = ready;
    m_doneReply = done;
}

void SimController::answer(const QByteArray& text)
{
    queueRaw(text + (m_noLineFeed ? "\r" : "\r\n"));
}

void SimController::queueRaw(const QByteArray& bytes)
{
    if (m_silent || m_vanished || bytes.isEmpty())
        return;
    if (m_dropEvery > 0 && ++m_repliesQueued % m_dropEvery == 0)
        return;
    if (m_holding) {
        m_held.append(bytes);
        return;
    }
    m_output.append(bytes);
    emit replyReady();
}

void SimController::releaseReplies()
{
    m_holding = false;
    const QList<QByteArray> held = std::exchange(m_held, {});
    for (const QByteArray& bytes : held)
        queueRaw(bytes);
}

QByteArray SimController::takeReply(int capacity)
{
    if (m_output.isEmpty() || capacity == 0)
        return {};
    QByteArray& first = m_output.first();
    if (capacity < 0 || capacity >= first.size())
        return m_output.takeFirst();
    const QByteArray part = first.left(capacity);
    first.remove(0, capacity);
    return part;
}

QByteArray SimController::takeAllOutput()
{
    QByteArray all;
    for (const QByteArray& reply : std::as_const(m_output))
        all += reply;
    m_output.clear();
    return all;
}

void SimController::deviceClear()
{
    m_partial.clear();
    m_partialOverflowed = false;
    m_lastEndedWithCr = false;
    m_output.clear();
    ++m_deviceClears;
}

int SimController::statusByte() const
{
    return (m_output.isEmpty() ? 0 : 0x10) | (m_errors.isEmpty() ? 0 : 0x04);
}

void SimController::clearLog()
{
    m_lines.clear();
    m_rawLines.clear();
    m_received.clear();
}

void SimController::setLogLimit(qsizetype lines, qsizetype bytes)
{
    m_logLines = lines;
    m_logBytes = bytes;
    trimLog();
}

// Cut back to the limit only once twice over it: cutting the front at every line would copy the
// whole log each time.
void SimController::trimLog()
{
    if (m_logLines >= 0 && m_lines.size() > 2 * m_logLines) {
        const qsizetype drop = m_lines.size() - m_logLines;
        m_lines.remove(0, drop);
        m_rawLines.remove(0, std::min(drop, m_rawLines.size()));
    }
    if (m_logBytes >= 0 && m_received.size() > 2 * m_logBytes)
        m_received.remove(0, m_received.size() - m_logBytes);
}

// --- values ---------------------------------------------------------------------------------------

bool SimController::isHexMnemonic(const QByteArray& mnemonic)
{
    return mnemonic.startsWith('Z') || mnemonic == "BO" || mnemonic == "SB";
}

QByteArray SimController::value(int axis, const QByteArray& mnemonic) const
{
    return storedValue(axis, mnemonic.toUpper());
}

void SimController::setValue(int axis, const QByteArray& mnemonic, const QByteArray& text)
{
    const QByteArray mn = mnemonic.toUpper();
    if (isHexMnemonic(mn))
        m_words.insert(key(axis, mn), hexValue(text));
    else
        m_values.insert(key(axis, mn), trimBlanks(text));
}

quint32 SimController::word(int axis, const QByteArray& mnemonic) const
{
    return m_words.value(key(axis, mnemonic.toUpper()), 0);
}

void SimController::setWord(int axis, const QByteArray& mnemonic, quint32 word)
{
    m_words.insert(key(axis, mnemonic.toUpper()), word);
}

void SimController::setHardwareStatus(quint32 word1, quint32 word2)
{
    m_status1 = word1;
    m_status2 = word2;
}

void SimController::saveToFlash()
{
    m_flashValues = m_values;
    m_flashWords = m_words;
}

QByteArray SimController::storedValue(int axis, const QByteArray& mnemonic) const
{
    if (isHexMnemonic(mnemonic))
        return hexText(m_words.value(key(axis, mnemonic), 0));
    const auto found = m_values.constFind(key(axis, mnemonic));
    return found != m_values.constEnd() ? found.value() : defaultValue(axis, mnemonic);
}

QByteArray SimController::defaultValue(int axis, const QByteArray& mnemonic) const
{
    if (mnemonic == "ID")
        return "Unknown";
    if (mnemonic == "QM")
        return axis >= 1 && axis <= m_axisCount ? "1" : "0";
    if (mnemonic == "RA")
        return "0.000";
    return "0";
}

// --- motion ---------------------------------------------------------------------------------------

double SimController::position(int axis) const
{
    return m_axes.value(axis).position;
}

void SimController::setPosition(int number, double position)
{
    Axis& x = axis(number);
    x.position = position;
    if (x.stepsLeft == 0 && x.jogDirection == 0)
        x.target = position;
}

bool SimController::isMoving(int number) const
{
    if (number == 0) {
        for (const Axis& x : m_axes)
            if (x.stepsLeft > 0 || x.jogDirection != 0)
                return true;
        return false;
    }
    const Axis x = m_axes.value(number);
    return x.stepsLeft > 0 || x.jogDirection != 0;
}

bool SimController::motorOn(int axis) const
{
    return m_axes.value(axis).motorOn;
}

void SimController::moveTo(int number, double target)
{
    Axis& x = axis(number);
    x.jogDirection = 0;
    x.target = target;
    if (m_moveSteps == 0) {
        x.position = target;
        x.stepsLeft = 0;
    } else {
        x.stepsLeft = m_moveSteps;
    }
}

// The axis halts where it stands; with moveSteps it still reports moving while it runs out.
void SimController::stopAxis(int number)
{
    Axis& x = axis(number);
    const bool wasMoving = x.stepsLeft > 0 || x.jogDirection != 0;
    x.jogDirection = 0;
    x.target = x.position;
    x.stepsLeft = wasMoving ? m_moveSteps : 0;
}

void SimController::step(int count)
{
    for (int n = 0; n < count; ++n) {
        for (auto it = m_axes.begin(); it != m_axes.end(); ++it) {
            Axis& x = it.value();
            if (x.jogDirection != 0) {
                double speed = 0.0;
                leadingNumber(storedValue(it.key(), "VA"), &speed);
                x.position += x.jogDirection * std::fabs(speed) / 20.0;
                x.target = x.position;
            } else if (x.stepsLeft > 0) {
                x.position += (x.target - x.position) / x.stepsLeft;
                if (--x.stepsLeft == 0)
                    x.position = x.target;
            }
        }
    }
}

void SimController::setAutoStep(int intervalMs)
{
    if (intervalMs <= 0) {
        m_stepTimer->stop();
        return;
    }
    m_stepTimer->start(intervalMs);
}

// --- errors ---------------------------------------------------------------------------------------

void SimController::pushError(int code, const QByteArray& text)
{
    m_errors.append(Error{code, m_clock.elapsed(), text});
}

// One error as "code, time, text"; an empty buffer reads as code 0.
QByteArray SimController::popError()
{
    if (m_errors.isEmpty())
        return QByteArray("0, ") + QByteArray::number(m_clock.elapsed()) + ", NO ERROR DETECTED";
    const Error e = m_errors.takeFirst();
    return QByteArray::number(e.code) + ", " + QByteArray::number(e.time) + ", " + e.text;
}

void SimController::resetController()
{
    for (Axis& x : m_axes) {
        x.jogDirection = 0;
        x.stepsLeft = 0;
        x.target = x.position;
        x.motorOn = false;
    }
    m_values = m_flashValues;
    m_words = m_flashWords;
    m_errors.clear();
    m_programMode = false;
    m_output.clear();
}

// --- stored programs ------------------------------------------------------------------------------

QByteArray SimController::programListing() const
{
    QByteArray listing;
    for (auto it = m_programs.constBegin(); it != m_programs.constEnd(); ++it) {
        listing += "\r\n" + QByteArray::number(it.key()) + "EP";
        for (const QByteArray& line : it.value())
            listing += "\r\n" + line;
        listing += "\r\nQP";
    }
    return listing + "\r\nEND";
}

// --- scripted failures ----------------------------------------------------------------------------

void SimController::failNext(int driverCode, int count)
{
    m_failCode = driverCode;
    m_failCount = count > 0 ? count : 0;
}

int SimController::takeDriverFailure()
{
    if (m_vanished)
        return VanishedCode;
    if (m_failCount > 0) {
        --m_failCount;
        return m_failCode;
    }
    return 0;
}

void SimController::vanish()
{
    if (m_vanished)
        return;
    m_vanished = true;
    m_vanishAfter = -1;
    m_output.clear();
    m_partial.clear();
    m_partialOverflowed = false;
    m_stepTimer->stop();
    emit vanished();
}

void SimController::vanishAfter(int lines)
{
    if (lines <= 0)
        vanish();
    else
        m_vanishAfter = lines;
}

void SimController::setReply(const QByteArray& query, const QByteArray& reply)
{
    m_replies.insert(query, reply);
}
