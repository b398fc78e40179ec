#include "platform/ui/MsgBox.h"
#include "platform/ui/ProgramFont.h"
#include "utility/shell/Application.h"
#include "utility/shell/KvlXGlobal.h"
#include "utility/shell/SessionEnd.h"
#include "utility/shell/SettingsStore.h"
#include "utility/shell/frmMain.h"

#include <QApplication>

#include <cstdio>
#include <memory>

namespace {

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
    QApplication::setFont(platform::ProgramFont::font());
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
    SessionEnd::install(&app);

    std::unique_ptr<frmMain> mainWindow(KvlXGlobal::Main());
    return app.exec();
}
