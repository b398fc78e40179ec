#include "tests/support/ProgramParts.h"
#include "tests/support/ResetAnswer.h"
#include "tests/support/ShellRig.h"
#include "tests/support/WindowChecks.h"

#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"
#include "utility/shell/Form.h"
#include "utility/shell/frmMain.h"

#include <QAbstractButton>
#include <QDir>
#include <QGuiApplication>
#include <QMdiArea>
#include <QPixmap>
#include <QScreen>

#include <gtest/gtest.h>

#include <cstdio>

using platform::Clock;

namespace {

// Lets the program run (its tick polls the controller) before a picture is taken.
void settle()
{
    Clock::pumpFor(600);
}

void shoot(const QString& folder, const QString& name)
{
    settle();
    const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(0);
    EXPECT_TRUE(picture.save(QDir(folder).filePath(name + QStringLiteral(".png")))) << name.toStdString();
}

// What the checks of the suite find at this display's fonts, told but not failed on: the
// pictures are for a person to judge.
void report(Form* form, QMdiArea* area)
{
    for (const QString& line : WindowChecks::allProblems(form, area))
        std::printf("  check: %s\n", qPrintable(line));
}

void closeAll()
{
    for (Form* form : Form::Forms()) {
        if (form->Visible())
            Form::Unload(form);
    }
    Clock::pumpOnce();
}

} // namespace

// Not part of the suite: scripts/screenshots.sh runs it under a virtual X display against the
// simulated controller (serial port 1, KVL_COM1) and names the folder in KVL_SHOT_DIR.
TEST(DesktopScreenshots, DISABLED_EveryWindowOnTheSimulatedController)
{
    const QString folder = qEnvironmentVariable("KVL_SHOT_DIR");
    ASSERT_FALSE(folder.isEmpty()) << "KVL_SHOT_DIR names the folder for the pictures";
    ASSERT_FALSE(qEnvironmentVariable("KVL_COM1").isEmpty()) << "KVL_COM1 names the simulator's terminal";
    QDir().mkpath(folder);

    ShellRig rig;
    ProgramParts parts;
    rig.store("KVLComm", "BusType", "3");
    rig.store("KVLComm", "CommPort", "1");
    rig.store("frmMain", "FirstTime", "0");
    rig.answer = ResetAnswer::no();
    frmMain* main = rig.start();
    shoot(folder, QStringLiteral("00-start"));
    closeAll();

    int n = 1;
    const QStringList names = WindowChecks::openableWindows(main);
    for (const QString& name : names) {
        Form* form = WindowChecks::open(main, name);
        EXPECT_TRUE(form) << name.toStdString();
        shoot(folder, QStringLiteral("%1-%2").arg(n++, 2, 10, QLatin1Char('0')).arg(name));
        if (form)
            report(form, main->MDIClient());
        if (name == QLatin1String("frmBusType") && form) {
            for (const char* option : {"optBusType_0", "optBusType_5"}) {
                if (auto* b = form->findChild<QAbstractButton*>(QLatin1String(option))) {
                    b->click();
                    shoot(folder, QStringLiteral("%1-%2-%3").arg(n++, 2, 10, QLatin1Char('0')).arg(name, QLatin1String(option)));
                }
            }
            if (auto* serial = form->findChild<QAbstractButton*>(QStringLiteral("optBusType_3"))) {
                serial->click();
                if (auto* setup = form->findChild<QAbstractButton*>(QStringLiteral("cmdRS232Setup")))
                    setup->click();
                shoot(folder, QStringLiteral("%1-frmCommProps").arg(n++, 2, 10, QLatin1Char('0')));
            }
        }
        closeAll();
    }

    for (const QString& name : names)
        WindowChecks::open(main, name);
    shoot(folder, QStringLiteral("90-all-open"));
    main->MenuDispatch(QStringLiteral("mnuWindowCascade"));
    shoot(folder, QStringLiteral("91-cascade"));
    main->MDIClient()->tileSubWindows();
    shoot(folder, QStringLiteral("92-tile"));
    closeAll();
}
