#include "platform/ui/MsgBox.h"
#include "platform/ui/ProgramFont.h"
#include "utility/app/ProgramStart.h"
#include "utility/shell/Application.h"
#include "utility/shell/SessionEnd.h"
#include "utility/shell/SettingsStore.h"
#include "utility/shell/frmMain.h"

#include <QApplication>

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    Application app(argc, argv);
    QApplication::setFont(platform::ProgramFont::font());
    QApplication::setApplicationName(QLatin1String(SettingsStore::ApplicationName));
    // The main window ends the program when it closes, whatever other windows are still about.
    QApplication::setQuitOnLastWindowClosed(false);

    // Unattended runs (scripted checks without a person) take every box's default button and
    // log the question instead; with "no", every question that offers No or Cancel is declined
    // (so the controller is neither reset at the start nor written to unasked).
    const QByteArray unattended = qgetenv("MOXTREL_UNATTENDED").trimmed().toLower();
    if (!unattended.isEmpty() && unattended != "0") {
        const bool decline = unattended == "no";
        platform::setMsgBoxHandler([decline](const QString& prompt, int style, const QString& title) {
            const int answer = platform::unattendedAnswer(style, decline);
            std::fprintf(stderr, "%s: %s -> %d\n", qPrintable(title), qPrintable(prompt), answer);
            return answer;
        });
    }

    // The session ending (logout, Ctrl+C, kill) closes the main window the ordinary way, so the
    // link settings and the window places are saved.
    SessionEnd::install(&app);

    std::unique_ptr<frmMain> mainWindow(KvlXGlobal::Main());
    return app.exec();
}
