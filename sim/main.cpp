#include "sim/SimController.h"
#include "sim/SimDefaults.h"
#include "sim/SimPty.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <climits>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

constexpr int kDefaultBaud = 19200;

// "--baud" may stand without a number (then it means 19200); QCommandLineParser wants one.
QStringList withBaudValue(const QStringList& arguments)
{
    QStringList out;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        out << a;
        if (i == 0 || a != QLatin1String("--baud"))
            continue;
        bool number = false;
        if (i + 1 < arguments.size())
            arguments.at(i + 1).toInt(&number);
        if (!number)
            out << QString::number(kDefaultBaud);
    }
    return out;
}

// A whole-number option from min to max (no upper bound when max is INT_MAX) into value, when
// given; false, with a message, when its value is none.
bool wholeOption(const QCommandLineParser& parser, const QCommandLineOption& option, int min, int max, int& value)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const int given = parser.value(option).toInt(&ok);
    if (ok && given >= min && given <= max) {
        value = given;
        return true;
    }
    const QByteArray name = option.names().first().toLatin1();
    if (max == INT_MAX)
        std::fprintf(stderr, "kvlsim: --%s wants a number from %d up\n", name.constData(), min);
    else
        std::fprintf(stderr, "kvlsim: --%s wants a number from %d to %d\n", name.constData(), min, max);
    return false;
}

} // namespace

// Serves one simulated controller on a pseudo-terminal until SIGINT or SIGTERM.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvlsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated motion controller on a pseudo-terminal. Prints the terminal's name; point the\n"
        "program's serial port at it (KVL_COM1=/dev/pts/N). Stop it with Ctrl+C."));
    parser.addHelpOption();
    const QCommandLineOption modelOption(QStringLiteral("model"),
                                         QStringLiteral("Reply to the identification query."),
                                         QStringLiteral("TEXT"));
    const QCommandLineOption axesOption(QStringLiteral("axes"),
                                        QStringLiteral("Number of axes carrying a motor."),
                                        QStringLiteral("N"));
    const QCommandLineOption amplifiersOption(QStringLiteral("amplifiers"),
                                              QStringLiteral("Amplifier word in hexadecimal (bit n-1: an amplifier on axis n)."),
                                              QStringLiteral("HEX"));
    const QCommandLineOption baudOption(
        QStringLiteral("baud"),
        QStringLiteral("Pace both directions like a real line at N baud, 10 bit-times a character "
                       "(19200 when given without a number). Without it every reply comes at once."),
        QStringLiteral("N"));
    const QCommandLineOption logOption(
        QStringLiteral("log"),
        QStringLiteral("Print every line received (\"in\") and every reply sent (\"out\"), with a time "
                       "stamp, on the standard output."));
    const QCommandLineOption dropOption(
        QStringLiteral("drop-every"),
        QStringLiteral("Leave every Nth reply unsent, as a line that loses one now and then."),
        QStringLiteral("N"));
    const QCommandLineOption lateOption(
        QStringLiteral("late-every"),
        QStringLiteral("Send every Nth reply late (1: every reply), holding up the replies after it, "
                       "as a controller that works through its lines one at a time."),
        QStringLiteral("N"));
    const QCommandLineOption lateMsOption(QStringLiteral("late-ms"),
                                          QStringLiteral("How late --late-every's replies start (1500 by default)."),
                                          QStringLiteral("MS"));
    const QCommandLineOption dribbleOption(
        QStringLiteral("dribble-ms"),
        QStringLiteral("Send every reply one character every MS milliseconds, as a line that dribbles."),
        QStringLiteral("MS"));
    parser.addOption(modelOption);
    parser.addOption(axesOption);
    parser.addOption(amplifiersOption);
    parser.addOption(baudOption);
    parser.addOption(logOption);
    parser.addOption(dropOption);
    parser.addOption(lateOption);
    parser.addOption(lateMsOption);
    parser.addOption(dribbleOption);
    parser.process(withBaudValue(app.arguments()));

    SimController controller;
    // A program that runs for hours keeps only the recent past of what it received.
    controller.setLogLimit(1000, 64 * 1024);
    if (parser.isSet(modelOption))
        controller.setModel(parser.value(modelOption).toLatin1());
    int axes = -1;
    if (!wholeOption(parser, axesOption, 0, SimController::MaxAxis, axes))
        return 2;
    if (axes >= 0)
        controller.setAxisCount(axes);
    if (parser.isSet(amplifiersOption)) {
        bool ok = false;
        const uint word = parser.value(amplifiersOption).toUInt(&ok, 16);
        if (!ok) {
            std::fprintf(stderr, "kvlsim: --amplifiers wants hexadecimal digits\n");
            return 2;
        }
        controller.setWord(0, "ZU", word);
    }
    int baud = 0;
    int dropEvery = 0;
    int lateEvery = 0;
    int lateMs = 1500;
    int dribbleMs = 0;
    if (!wholeOption(parser, baudOption, 300, 4000000, baud) || !wholeOption(parser, dropOption, 2, INT_MAX, dropEvery)
        || !wholeOption(parser, lateOption, 1, INT_MAX, lateEvery) || !wholeOption(parser, lateMsOption, 0, 60000, lateMs)
        || !wholeOption(parser, dribbleOption, 1, 60000, dribbleMs))
        return 2;
    controller.setDropEvery(dropEvery);
    // Speeds, accelerations and jerks of a set-up stage; moves take a second in real time, so a
    // person sees the axes travel.
    SimDefaults::apply(controller);
    controller.setMoveSteps(20);
    controller.setAutoStep(50);

    SimPty pty(&controller);
    pty.setBaud(baud);
    pty.setLateEvery(lateEvery, lateMs);
    pty.setDribble(dribbleMs);
    if (parser.isSet(logOption)) {
        pty.setLog([](const QString& line) {
            std::printf("%s\n", qPrintable(line));
            std::fflush(stdout);
        });
    }
    if (!pty.open()) {
        std::fprintf(stderr, "kvlsim: cannot open a pseudo-terminal: %s\n",
                     qPrintable(pty.errorString()));
        return 1;
    }

    if (::pipe(g_signalPipe) != 0) {
        std::perror("kvlsim: pipe");
        return 1;
    }
    fcntl(g_signalPipe[1], F_SETFL, O_NONBLOCK);
    QSocketNotifier stopNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    QObject::connect(&pty, &SimPty::closed, &app, &QCoreApplication::quit);

    if (baud > 0)
        std::printf("kvlsim: serving on %s at %d baud\n", qPrintable(pty.slavePath()), baud);
    else
        std::printf("kvlsim: serving on %s\n", qPrintable(pty.slavePath()));
    std::fflush(stdout);
    return app.exec();
}
