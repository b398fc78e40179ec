#include "sim/SimController.h"
#include "sim/SimPty.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

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

} // namespace

// Serves one simulated controller on a pseudo-terminal until SIGINT or SIGTERM.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvlsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated motion controller on a pseudo-terminal"));
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
    parser.addOption(modelOption);
    parser.addOption(axesOption);
    parser.addOption(amplifiersOption);
    parser.process(app);

    SimController controller;
    if (parser.isSet(modelOption))
        controller.setModel(parser.value(modelOption).toLatin1());
    if (parser.isSet(axesOption)) {
        bool ok = false;
        const int axes = parser.value(axesOption).toInt(&ok);
        if (!ok || axes < 0 || axes > SimController::MaxAxis) {
            std::fprintf(stderr, "kvlsim: --axes wants a number from 0 to %d\n", SimController::MaxAxis);
            return 2;
        }
        controller.setAxisCount(axes);
    }
    if (parser.isSet(amplifiersOption)) {
        bool ok = false;
        const uint word = parser.value(amplifiersOption).toUInt(&ok, 16);
        if (!ok) {
            std::fprintf(stderr, "kvlsim: --amplifiers wants hexadecimal digits\n");
            return 2;
        }
        controller.setWord(0, "ZU", word);
    }
    // Moves take a second in real time, so a person sees the axes travel.
    controller.setMoveSteps(20);
    controller.setAutoStep(50);

    SimPty pty(&controller);
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

    std::printf("kvlsim: serving on %s\n", qPrintable(pty.slavePath()));
    std::fflush(stdout);
    return app.exec();
}
