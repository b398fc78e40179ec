#pragma once

#include "platform/ui/MsgBox.h"
#include "utility/app/ProgramStart.h"
#include "utility/shell/DataFiles.h"
#include "utility/shell/Form.h"
#include "utility/shell/SettingsStore.h"
#include "utility/shell/frmErrors.h"
#include "utility/shell/frmMain.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

// The utility as the benchmarks run it: started on serial port `port` (pointed at `slavePath`)
// with a settings store of its own in `scratch`, no reset at start, every other box taking its
// first button (and logged), and every panel window open. `open` receives the windows shown.
inline std::unique_ptr<frmMain> startBenchDesktop(int port, const QString& slavePath, const QTemporaryDir& scratch,
                                                  QStringList& open)
{
    qputenv(QByteArray("KVL_COM") + QByteArray::number(port), slavePath.toLocal8Bit());
    SettingsStore::setFileName(scratch.filePath(QStringLiteral("Moxtrel.ini")));
    SettingsStore::SaveSetting(QStringLiteral("KVLComm"), QStringLiteral("BusType"), QStringLiteral("3"));
    SettingsStore::SaveSetting(QStringLiteral("KVLComm"), QStringLiteral("CommPort"), QString::number(port));
    SettingsStore::SaveSetting(QStringLiteral("frmMain"), QStringLiteral("FirstTime"), QStringLiteral("0"));
    // The data files beside the program.
    KvlXGlobal::setAppPath(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("..")));
    platform::setMsgBoxHandler([](const QString& prompt, int style, const QString& title) {
        std::fprintf(stderr, "box: %s: %s\n", qPrintable(title), qPrintable(prompt));
        if ((style & 0xF) == 4)
            return int(prompt.contains(QLatin1String("reset")) ? platform::vbNo : platform::vbYes);
        return int(platform::vbOK);
    });

    std::unique_ptr<frmMain> main(KvlXGlobal::Main());
    if (Form* splash = Form::loadedForm(QStringLiteral("frmSplash"))) {
        if (auto* ok = splash->findChild<QAbstractButton*>(QStringLiteral("btnOK")))
            ok->click();
    }
    for (const char* key : {"mnuMotionStop", "mnuMotionHome", "mnuMotionJog", "mnuMotionCycle", "mnuMotionEnable",
                            "mnuStatusPosition", "mnuSetupMotionTrajectory"})
        main->MenuDispatch(QString::fromLatin1(key));
    Form::instance<frmErrors>()->Show();
    open.clear();
    for (Form* f : Form::Forms()) {
        if (f->Visible())
            open << f->Name();
    }
    return main;
}
