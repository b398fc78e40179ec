#include "tests/support/LinkSchedule.h"

#include "library/link/BusType.h"
#include "library/link/KVLComm.h"
#include "platform/drivers/SimulatedDevice.h"
#include "platform/drivers/UsbDriver.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"
#include "tests/support/ScriptedController.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMap>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <random>

namespace {

const QByteArray kIdentification = "KVL410 Version 2.0";
constexpr int kAxes = 4;
constexpr int kLateMaxMs = 3000;
// The line time between two answers, as at 19200 baud.
constexpr int kLineMs = 10;
constexpr short kSerialPort = 9;
constexpr int kWrongKept = 10;

// How the controller treats one line: its answer (empty: none), and when it starts.
struct Answer {
    QByteArray text;
    int delayMs = 0;
};

// The controller's side: what it answers and when, drawn from the schedule's seed.
class NoisyAnswers {
public:
    // Each schedule has a noisiness of its own, from a clean line to one that loses or delays a
    // third of its answers; or, given a steady loss, loses that share and delays none.
    NoisyAnswers(quint32 seed, int steadyLossPercent) : m_random(seed), m_steady(steadyLossPercent >= 0)
    {
        m_badPercent = m_steady ? steadyLossPercent : 5 + int(m_random() % 31);
    }

    Answer answer(const QByteArray& line)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        QByteArray text;
        if (line == "VE?" || line == "VE") {
            text = kIdentification + "\r\n";
        } else if (line.size() == 4 && line.endsWith("TP?")) {
            const int axis = line.left(1).toInt();
            const int n = ++m_counts[axis];
            text = QByteArray::number(axis) + '.' + QByteArray::number(n).rightJustified(5, '0') + "\r\n";
        }
        if (text.isEmpty())
            return {};
        const int roll = int(m_random() % 100);
        if (roll >= m_badPercent)
            return {text, kLineMs};
        if (m_steady || roll % 2 == 0)
            return {}; // lost
        return {text, kLineMs + 1 + int(m_random() % kLateMaxMs)};
    }

    // The answer "<axis>.<n>" the controller gave to the last query of axis it has received.
    QString lastAnswerOf(int axis)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return QStringLiteral("%1.%2").arg(axis).arg(m_counts.value(axis), 5, 10, QLatin1Char('0'));
    }

private:
    std::mutex m_mutex;
    std::mt19937 m_random;
    bool m_steady = false;
    int m_badPercent = 0;
    QMap<int, int> m_counts;
};

// The controller behind the USB stand-in on the program's manual clock: answers in order, each
// due a line time after the one before at the earliest; a read with nothing due waits the driver's
// own time (a quarter of a second) for one.
class NoisyUsbDevice : public platform::SimulatedDevice {
public:
    explicit NoisyUsbDevice(NoisyAnswers& answers) : m_answers(answers) {}

    int receive(const QByteArray& bytes) override
    {
        QByteArray line = bytes;
        while (line.endsWith('\r') || line.endsWith('\n'))
            line.chop(1);
        const Answer answer = m_answers.answer(line.trimmed());
        if (answer.text.isEmpty())
            return 0;
        const qint64 due = std::max(platform::Clock::tickMs(), m_lastDue) + answer.delayMs;
        m_lastDue = due;
        m_due.push_back({due, answer.text});
        return 0;
    }

    int reply(QByteArray& bytes, int capacity) override
    {
        bytes.clear();
        const qint64 now = platform::Clock::tickMs();
        if (m_due.empty() || m_due.front().atMs > now) {
            const qint64 next = m_due.empty() ? now + kDriverWaitMs : m_due.front().atMs;
            platform::Clock::advance(std::clamp<qint64>(next - now, 0, kDriverWaitMs));
        }
        while (!m_due.empty() && m_due.front().atMs <= platform::Clock::tickMs()
               && bytes.size() + m_due.front().text.size() <= capacity) {
            bytes += m_due.front().text;
            m_due.pop_front();
        }
        return 0;
    }

private:
    static constexpr qint64 kDriverWaitMs = 250;
    struct Due {
        qint64 atMs;
        QByteArray text;
    };
    NoisyAnswers& m_answers;
    std::deque<Due> m_due;
    qint64 m_lastDue = 0;
};

// The program clock for the life of a schedule on the in-process bus.
class ManualClock {
public:
    ManualClock() { platform::Clock::useManualClock(); }
    ~ManualClock() { platform::Clock::useRealClock(); }
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;
};

// Boxes (the link's failure report) are answered at once.
class QuietBoxes {
public:
    QuietBoxes()
    {
        platform::setMsgBoxHandler([](const QString&, int, const QString&) { return 1; });
    }
    ~QuietBoxes() { platform::setMsgBoxHandler(nullptr); }
    QuietBoxes(const QuietBoxes&) = delete;
    QuietBoxes& operator=(const QuietBoxes&) = delete;
};

QString shown(const QString& text)
{
    QString t = text;
    t.replace(QLatin1Char('\r'), QLatin1String("\\r")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QLatin1Char('"') + t + QLatin1Char('"');
}

} // namespace

void LinkSchedule::Result::add(const Result& other)
{
    schedules += other.schedules;
    queries += other.queries;
    answered += other.answered;
    unanswered += other.unanswered;
    notSent += other.notSent;
    heldBack += other.heldBack;
    openings += other.openings;
    breaks += other.breaks;
    wrong += other.wrong;
    programMs += other.programMs;
    for (const QString& w : other.wrongReplies) {
        if (wrongReplies.size() < kWrongKept)
            wrongReplies << w;
    }
}

QString LinkSchedule::Result::summary() const
{
    return QStringLiteral("%1 schedules, %2 queries: %3 answered, %4 unanswered, %5 not sent (%6 held back for "
                          "events); %7 openings, %8 breaks; %9 wrong replies")
        .arg(schedules)
        .arg(queries)
        .arg(answered)
        .arg(unanswered)
        .arg(notSent)
        .arg(heldBack)
        .arg(openings)
        .arg(breaks)
        .arg(wrong);
}

LinkSchedule::Result LinkSchedule::run(Bus bus, Host host, quint32 seed, int steps, int steadyLossPercent)
{
    Result result;
    result.schedules = 1;
    QuietBoxes boxes;
    NoisyAnswers answers(seed, steadyLossPercent);
    const bool queriesOnly = steadyLossPercent >= 0;
    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<NoisyUsbDevice> device;
    std::unique_ptr<ScriptedController> controller;
    const BUS_TYPE busType = bus == Bus::Serial ? BUS_TYPE_RS232 : BUS_TYPE_USB;
    if (bus == Bus::Usb) {
        clock = std::make_unique<ManualClock>();
        device = std::make_unique<NoisyUsbDevice>(answers);
        platform::drivers::installUsbDevice(0, device.get());
    } else {
        controller = std::make_unique<ScriptedController>([&answers](const QByteArray& line) {
            const Answer a = answers.answer(line);
            return ScriptedController::Answer{a.text, a.delayMs};
        });
        if (!controller->isOpen())
            return result;
        qputenv("KVL_COM" + QByteArray::number(kSerialPort), controller->slavePath().toLocal8Bit());
    }

    // The steps, run as the host runs them.
    const auto schedule = [&] {
        KVLComm comm;
        const auto open = [&] {
            ++result.openings;
            comm.setBusType(busType);
            comm.setCommPort(kSerialPort);
            comm.KVLInit();
            comm.KVLOpen();
        };
        std::mt19937 caller(seed * 2654435761u + 1);
        open();
        const qint64 began = platform::Clock::tickMs();
        for (int step = 0; step < steps; ++step) {
            const bool events = host == Host::EventLoop;
            if (!comm.IsOpen() || comm.BusType() != busType) {
                ++result.breaks;
                if (events)
                    QCoreApplication::processEvents();
                open();
                continue;
            }
            // Most steps are a go of their own; some follow the one before without events between.
            if (caller() % 4 != 0 && events)
                QCoreApplication::processEvents();
            const int roll = queriesOnly ? 0 : int(caller() % 100);
            if (roll < 72) {
                const bool identification = roll >= 60;
                const int axis = 1 + int(caller() % kAxes);
                const QString query = identification ? QStringLiteral("VE?") : QStringLiteral("%1TP?").arg(axis);
                QString reply = QStringLiteral("untouched");
                const int status = comm.SendReadAscii(query + QLatin1Char('\r'), reply);
                ++result.queries;
                QString expected;
                if (status == 0) {
                    ++result.answered;
                    expected = identification ? QString::fromLatin1(kIdentification) : answers.lastAnswerOf(axis);
                } else if (status == KVLComm::QueryNotSent) {
                    ++result.notSent;
                    result.heldBack += comm.WaitsForEvents() ? 1 : 0;
                    expected = QStringLiteral("untouched");
                } else {
                    ++result.unanswered;
                    // No value: empty, or untouched where the link was already down.
                    expected = reply == QStringLiteral("untouched") ? reply : QString();
                }
                if (reply.trimmed() != expected) {
                    ++result.wrong;
                    if (result.wrongReplies.size() < kWrongKept)
                        result.wrongReplies << QStringLiteral("seed %1 step %2: %3 -> %4 (status %5)")
                                                   .arg(seed)
                                                   .arg(step)
                                                   .arg(query, shown(reply))
                                                   .arg(status);
                }
            } else if (roll < 86) {
                const int axis = 1 + int(caller() % kAxes);
                comm.SendAscii(QStringLiteral("%1%2\r").arg(axis).arg(caller() % 2 ? QStringLiteral("ST") : QStringLiteral("MV+")));
            } else if (roll < 95) {
                comm.SendAscii(QStringLiteral("VE\r"));
            } else {
                open();
            }
        }
        result.programMs += platform::Clock::tickMs() - began;
    };
    if (host == Host::EventLoop) {
        QEventLoop loop;
        QTimer::singleShot(0, &loop, [&] {
            schedule();
            loop.quit();
        });
        loop.exec();
    } else {
        schedule();
    }
    if (bus == Bus::Usb)
        platform::drivers::installUsbDevice(0, nullptr);
    else
        qunsetenv("KVL_COM" + QByteArray::number(kSerialPort));
    return result;
}
