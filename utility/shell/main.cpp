#include "platform/ui/MsgBox.h"
#include "utility/shell/Application.h"
#include "utility/shell/KvlXGlobal.h"
#include "utility/shell/SettingsStore.h"
#include "utility/shell/frmMain.h"

#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

int g_endPipe[2] = {-1, -1};

void onEndSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_endPipe[1], &byte, 1);
}

// The button a box answers with when nobody presses one: its default button.
int defaultAnswer(int style)
{
    using namespace platform;
    static const int buttons[][3] = {
        {vbOK, vbOK, vbOK},       {vbOK, vbCancel, vbCancel}, {vbAbort, vbRetry, vbIgnore},
        {vbYes, vbNo, vbCancel}, {vbYes, vbNo, vbNo},        {vbRetry, vbCancel, vbCancel},
    };
    const int set = style & 0xF;
    const int index = (style >> 8) & 0xF;
    if (set > 5 || index > 2)
        return vbOK;
    return buttons[set][index];
}

} // namespace

int main(int argc, char** argv)
{
    Application app(argc, argv);
    QApplication::setApplicationName(QLatin1String(SettingsStore::ApplicationName));
    // The main window ends the program when it closes, whatever other windows are still about.
    QApplication::setQuitOnLastWindowClosed(false);

    // Unattended runs (scripted checks without a person) take every box's default button and
    // log the question instead; with "no", a question that offers No is answered No (so the
    // controller is not reset at the start).
    const QByteArray unattended = qgetenv("MOXTREL_UNATTENDED").trimmed().toLower();
    if (!unattended.isEmpty() && unattended != "0") {
        const bool sayNo = unattended == "no";
        platform::setMsgBoxHandler([sayNo](const QString& prompt, int style, const QString& title) {
            const int set = style & 0xF;
            const bool offersNo = set == platform::vbYesNoCancel || set == platform::vbYesNo;
            const int answer = sayNo && offersNo ? int(platform::vbNo) : defaultAnswer(style);
            std::fprintf(stderr, "%s: %s -> %d\n", qPrintable(title), qPrintable(prompt), answer);
            return answer;
        });
    }

    // The session ending (logout, Ctrl+C, kill) closes the main window the ordinary way, so the
    // link settings and the window places are saved.
    if (::pipe(g_endPipe) == 0) {
        fcntl(g_endPipe[1], F_SETFL, O_NONBLOCK);
        auto* notifier = new QSocketNotifier(g_endPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
            char byte = 0;
            [[maybe_unused]] const ssize_t n = ::read(g_endPipe[0], &byte, 1);
            if (frmMain* main = frmMain::instance())
                main->close();
        });
        struct sigaction action {};
        action.sa_handler = onEndSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGHUP, &action, nullptr);
    }

    std::unique_ptr<frmMain> mainWindow(KvlXGlobal::Main());
    return app.exec();
}
