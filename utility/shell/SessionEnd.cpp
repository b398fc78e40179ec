#include "utility/shell/SessionEnd.h"

#include "platform/ui/MsgBox.h"
#include "utility/shell/frmMain.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_endPipe[2] = {-1, -1};

// Only a byte down a pipe: the event loop does the rest.
void onEndSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_endPipe[1], &byte, 1);
}

} // namespace

void SessionEnd::install(QObject* context)
{
    if (g_endPipe[0] >= 0 || ::pipe(g_endPipe) != 0)
        return;
    fcntl(g_endPipe[1], F_SETFL, O_NONBLOCK);
    auto* notifier = new QSocketNotifier(g_endPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_endPipe[0], &byte, 1);
        end();
    });
    struct sigaction action {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

void SessionEnd::end()
{
    platform::setMsgBoxesDismissed(true);
    // A file dialog or another modal dialog waits in a loop of its own as well.
    QList<QPointer<QDialog>> waiting;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(w);
        if (dialog && dialog->isVisible() && dialog->isModal())
            waiting.append(dialog);
    }
    for (const QPointer<QDialog>& dialog : waiting) {
        if (dialog)
            dialog->reject();
    }
    // The close happens at once, or once the code that waited (a restore, a firmware download)
    // has finished or failed.
    QPointer<frmMain> main = frmMain::instance();
    if (!main)
        return;
    main->close();
    // A close that was refused leaves the program running: its boxes must be seen again.
    if (main && main->isVisible() && !main->closePending())
        platform::setMsgBoxesDismissed(false);
}
