#include "utility/shell/CommandDispatcher.h"

#include "library/link/CGuiState.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"
#include "platform/ui/Shell.h"
#include "utility/shell/ControllerInit.h"
#include "utility/shell/DataFiles.h"
#include "utility/shell/Form.h"
#include "utility/shell/FormPlaces.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/SettingsStore.h"
#include "utility/shell/frmBusType.h"
#include "utility/shell/frmCycle.h"
#include "utility/shell/frmEnable.h"
#include "utility/shell/frmErrors.h"
#include "utility/shell/frmHome.h"
#include "utility/shell/frmJog.h"
#include "utility/shell/frmMain.h"
#include "utility/shell/frmPosition.h"
#include "utility/shell/frmStop.h"
#include "utility/shell/frmTrajectory.h"

#include <QDir>
#include <QHash>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>

using namespace platform;
using namespace KvlXGlobal;

namespace {

template <class T>
Form* instanceOf()
{
    return Form::instance<T>();
}

// The windows built so far; the others are plugged in.
const QHash<QString, CommandDispatcher::WindowInstance>& builtInWindows()
{
    static const QHash<QString, CommandDispatcher::WindowInstance> windows{
        {QStringLiteral("frmBusType"), &instanceOf<frmBusType>},
        {QStringLiteral("frmStop"), &instanceOf<frmStop>},
        {QStringLiteral("frmHome"), &instanceOf<frmHome>},
        {QStringLiteral("frmCycle"), &instanceOf<frmCycle>},
        {QStringLiteral("frmPosition"), &instanceOf<frmPosition>},
        {QStringLiteral("frmEnable"), &instanceOf<frmEnable>},
        {QStringLiteral("frmJog"), &instanceOf<frmJog>},
        {QStringLiteral("frmTrajectory"), &instanceOf<frmTrajectory>},
        {QStringLiteral("frmErrors"), &instanceOf<frmErrors>},
    };
    return windows;
}

QHash<QString, CommandDispatcher::WindowInstance>& pluggedWindows()
{
    static QHash<QString, CommandDispatcher::WindowInstance> windows;
    return windows;
}

const QHash<QString, CommandDispatcher::Procedure>& builtInProcedures()
{
    static const QHash<QString, CommandDispatcher::Procedure> procedures{
        {QStringLiteral("SaveToFlash"), &KvlXGlobal::SaveToFlash},
        {QStringLiteral("SetDemoMode"), &KvlXGlobal::SetDemoMode},
    };
    return procedures;
}

QHash<QString, CommandDispatcher::Procedure>& pluggedProcedures()
{
    static QHash<QString, CommandDispatcher::Procedure> procedures;
    return procedures;
}

// What the user is told a command opens while it is not plugged in.
QString describe(const QString& name)
{
    static const QHash<QString, QString> descriptions{
        {QStringLiteral("frmSetupTabs"), QStringLiteral("The fault set-up window")},
        {QStringLiteral("frmSetupHardware"), QStringLiteral("The hardware set-up window")},
        {QStringLiteral("frmSetupAxorn"), QStringLiteral("The motor driver set-up window")},
        {QStringLiteral("frmSetupUnits"), QStringLiteral("The resolution set-up window")},
        {QStringLiteral("frmInterpolation"), QStringLiteral("The interpolation set-up window")},
        {QStringLiteral("frmMasterSlave"), QStringLiteral("The master-slave set-up window")},
        {QStringLiteral("frmErrComp"), QStringLiteral("The error compensation set-up window")},
        {QStringLiteral("frmHardwareStatus"), QStringLiteral("The hardware status window")},
        {QStringLiteral("frmAbout"), QStringLiteral("The About window")},
        {QStringLiteral("frmTerminal"), QStringLiteral("The command terminal")},
        {QStringLiteral("statusFlash"), QStringLiteral("The firmware download")},
        {QStringLiteral("SaveParametersToFile"), QStringLiteral("Saving parameters to a file")},
        {QStringLiteral("RestoreFromFile"), QStringLiteral("Restoring parameters from a file")},
        {QStringLiteral("ConvertParameterFile"), QStringLiteral("Converting an old parameter file")},
    };
    return descriptions.value(name, name);
}

const QString kProgramTitle = QString::fromLatin1(SettingsStore::ApplicationName);

} // namespace

CommandDispatcher::CommandDispatcher(frmMain* main)
    : QObject(main)
    , m_main(main)
{
    setObjectName(QStringLiteral("CommandDispatcher"));
}

// ---------------------------------------------------------------------------------------------
// Plug-ins

Form* CommandDispatcher::window(const QString& name)
{
    const WindowInstance plugged = pluggedWindows().value(name);
    if (plugged)
        return plugged();
    const WindowInstance builtIn = builtInWindows().value(name);
    return builtIn ? builtIn() : nullptr;
}

QStringList CommandDispatcher::windowNames()
{
    QStringList names = builtInWindows().keys() + pluggedWindows().keys();
    names.sort();
    names.removeDuplicates();
    return names;
}

CommandDispatcher::PlugIns CommandDispatcher::plugIns()
{
    return PlugIns{pluggedWindows(), pluggedProcedures()};
}

void CommandDispatcher::setPlugIns(const PlugIns& plugIns)
{
    pluggedWindows() = plugIns.windows;
    pluggedProcedures() = plugIns.procedures;
}

QString CommandDispatcher::windowOfKey(const QString& key)
{
    return commandOf(key).window;
}

void CommandDispatcher::setWindow(const QString& name, WindowInstance instance)
{
    if (instance)
        pluggedWindows().insert(name, std::move(instance));
    else
        pluggedWindows().remove(name);
}

void CommandDispatcher::setProcedure(const QString& name, Procedure procedure)
{
    if (procedure)
        pluggedProcedures().insert(name, std::move(procedure));
    else
        pluggedProcedures().remove(name);
}

void CommandDispatcher::notAvailable(const QString& name)
{
    MsgBox(describe(name) + QStringLiteral(" is not available yet."), vbOKOnly + vbInformation, kProgramTitle);
}

void CommandDispatcher::runProcedure(const QString& name)
{
    Procedure procedure = pluggedProcedures().value(name);
    if (!procedure)
        procedure = builtInProcedures().value(name);
    if (procedure)
        procedure();
    else
        notAvailable(name);
}

QString CommandDispatcher::helpFilePath()
{
    // One help file serves the Help menu and the trajectory panel.
    return DataFile(QStringLiteral("MOXTREL.HLP"));
}

QString CommandDispatcher::homePage()
{
    return QStringLiteral("https://www.tarvelle.com/");
}

// ---------------------------------------------------------------------------------------------
// Dispatch

CommandDispatcher::Command CommandDispatcher::commandOf(const QString& key)
{
    static const QHash<QString, Command> commands{
        {QStringLiteral("mnuFileResetSystem"), {&CommandDispatcher::ResetSystem, QString()}},
        {QStringLiteral("mnuFileSaveToFlash"), {&CommandDispatcher::SaveToFlash, QString()}},
        {QStringLiteral("mnuFileSaveToFile"), {&CommandDispatcher::SaveToFile, QString()}},
        {QStringLiteral("mnuFileRestoreFromFile"), {&CommandDispatcher::RestoreFromFile, QString()}},
        {QStringLiteral("mnuFileConvertToASCII"), {&CommandDispatcher::ConvertToASCII, QString()}},
        {QStringLiteral("mnuFileDemoMode"), {&CommandDispatcher::DemoMode, QString()}},
        {QStringLiteral("mnuFileRestoreDesktopEnvironment"), {&CommandDispatcher::RestoreDesktopEnvironment, QString()}},
        {QStringLiteral("mnuFileCloseWindows"), {&CommandDispatcher::CloseWindows, QString()}},
        {QStringLiteral("mnuWindowCloseAll"), {&CommandDispatcher::CloseWindows, QString()}},
        {QStringLiteral("mnuFileExit"), {&CommandDispatcher::Exit, QString()}},
        {QStringLiteral("mnuSetupFaults"), {&CommandDispatcher::SetupFaults, QStringLiteral("frmSetupTabs")}},
        {QStringLiteral("mnuSetupHardware"), {&CommandDispatcher::SetupHardware, QStringLiteral("frmSetupHardware")}},
        {QStringLiteral("mnuSetupFirmware"), {&CommandDispatcher::SetupFirmware, QStringLiteral("statusFlash")}},
        {QStringLiteral("mnuSetupAxorn"), {&CommandDispatcher::SetupAxorn, QStringLiteral("frmSetupAxorn")}},
        {QStringLiteral("mnuSetupBustype"), {&CommandDispatcher::SetupBustype, QStringLiteral("frmBusType")}},
        {QStringLiteral("mnuSetupWizard"), {&CommandDispatcher::SetupWizard, QString()}},
        {QStringLiteral("mnuSetupMotionResolution"), {&CommandDispatcher::SetupResolution, QStringLiteral("frmSetupUnits")}},
        {QStringLiteral("mnuSetupMotionTrajectory"), {&CommandDispatcher::SetupTrajectory, QStringLiteral("frmTrajectory")}},
        {QStringLiteral("mnuTbarTrajectory"), {&CommandDispatcher::SetupTrajectory, QStringLiteral("frmTrajectory")}},
        {QStringLiteral("mnuSetupMotionInterpolation"), {&CommandDispatcher::SetupInterpolation, QStringLiteral("frmInterpolation")}},
        {QStringLiteral("mnuSetupMotionMasterSlaving"), {&CommandDispatcher::SetupMasterSlaving, QStringLiteral("frmMasterSlave")}},
        {QStringLiteral("mnuSetupMotionErrorCompensation"), {&CommandDispatcher::SetupErrorCompensation, QStringLiteral("frmErrComp")}},
        {QStringLiteral("mnuMotionEnable"), {&CommandDispatcher::MotionEnable, QStringLiteral("frmEnable")}},
        {QStringLiteral("mnuTbarEnable"), {&CommandDispatcher::MotionEnable, QStringLiteral("frmEnable")}},
        {QStringLiteral("mnuMotionStop"), {&CommandDispatcher::MotionStop, QStringLiteral("frmStop")}},
        {QStringLiteral("mnuTbarStop"), {&CommandDispatcher::MotionStop, QStringLiteral("frmStop")}},
        {QStringLiteral("mnuMotionJog"), {&CommandDispatcher::MotionJog, QStringLiteral("frmJog")}},
        {QStringLiteral("mnuTbarJog"), {&CommandDispatcher::MotionJog, QStringLiteral("frmJog")}},
        {QStringLiteral("mnuMotionCycle"), {&CommandDispatcher::MotionCycle, QStringLiteral("frmCycle")}},
        {QStringLiteral("mnuTbarCycle"), {&CommandDispatcher::MotionCycle, QStringLiteral("frmCycle")}},
        {QStringLiteral("mnuMotionHome"), {&CommandDispatcher::MotionHome, QStringLiteral("frmHome")}},
        {QStringLiteral("mnuTbarHome"), {&CommandDispatcher::MotionHome, QStringLiteral("frmHome")}},
        {QStringLiteral("mnuStatusPosition"), {&CommandDispatcher::StatusPosition, QStringLiteral("frmPosition")}},
        {QStringLiteral("mnuTbarPosition"), {&CommandDispatcher::StatusPosition, QStringLiteral("frmPosition")}},
        {QStringLiteral("mnuStatusHardware"), {&CommandDispatcher::StatusHardware, QStringLiteral("frmHardwareStatus")}},
        {QStringLiteral("mnuWindowCascade"), {&CommandDispatcher::WindowCascade, QString()}},
        {QStringLiteral("mnuHelpAboutKVL7100"), {&CommandDispatcher::HelpAbout, QStringLiteral("frmAbout")}},
        {QStringLiteral("mnuHelpKVL7100Commands"), {&CommandDispatcher::HelpCommands, QString()}},
        {QStringLiteral("mnuHelpAboutTarvelleHome"), {&CommandDispatcher::HelpHomePage, QString()}},
        {QStringLiteral("mnuTbarTerminal"), {&CommandDispatcher::Terminal, QStringLiteral("frmTerminal")}},
    };
    return commands.value(key);
}

void CommandDispatcher::MenuDispatch(const QString& key)
{
    if (!m_main)
        return;
    const Command command = commandOf(key);
    if (command.run)
        (this->*command.run)(command.window);
}

// ---------------------------------------------------------------------------------------------
// Opening windows

Form* CommandDispatcher::showThenEnable(const QString& name)
{
    QPointer<Form> form = window(name);
    if (!form) {
        notAvailable(name);
        return nullptr;
    }
    form->Show();
    if (form)
        form->setEnabled(true);
    return form;
}

Form* CommandDispatcher::enableThenShow(const QString& name)
{
    QPointer<Form> form = window(name);
    if (!form) {
        notAvailable(name);
        return nullptr;
    }
    form->setEnabled(true);
    form->Show();
    return form;
}

Form* CommandDispatcher::makeVisible(const QString& name)
{
    return enableThenShow(name);
}

void CommandDispatcher::openUnlessLocked(short formId, const QString& name)
{
    const CGuiState* state = m_main->mobjGuiState();
    if (state && state->FormState(formId) != 0)
        return;
    makeVisible(name);
}

// ---------------------------------------------------------------------------------------------
// File

void CommandDispatcher::ResetSystem(const QString&)
{
    if (MsgBox(QStringLiteral("Do you want to reset Controller"), vbOKCancel + vbQuestion, kProgramTitle) != vbOK)
        return;
    QPointer<frmMain> main = m_main;
    main->InitializeController(true);
    if (main)
        main->UpdateStatusBar();
}

void CommandDispatcher::SaveToFlash(const QString&)
{
    runProcedure(QStringLiteral("SaveToFlash"));
}

void CommandDispatcher::SaveToFile(const QString&)
{
    runProcedure(QStringLiteral("SaveParametersToFile"));
}

void CommandDispatcher::RestoreFromFile(const QString&)
{
    runProcedure(QStringLiteral("RestoreFromFile"));
}

void CommandDispatcher::ConvertToASCII(const QString&)
{
    runProcedure(QStringLiteral("ConvertParameterFile"));
}

void CommandDispatcher::DemoMode(const QString&)
{
    runProcedure(QStringLiteral("SetDemoMode"));
}

void CommandDispatcher::RestoreDesktopEnvironment(const QString&)
{
    ResetDesktopLayout();
}

void CommandDispatcher::CloseWindows(const QString&)
{
    CloseChildForms();
}

void CommandDispatcher::Exit(const QString&)
{
    const int answer = MsgBox(QStringLiteral("Do you want to exit Moxtrel Utility?"), vbOKCancel + vbQuestion,
                              QStringLiteral("Moxtrel"));
    if (m_main)
        m_main->MDIForm_Unload(answer);
}

// ---------------------------------------------------------------------------------------------
// Setup

void CommandDispatcher::SetupFaults(const QString& target)
{
    showThenEnable(target);
}

void CommandDispatcher::SetupHardware(const QString& target)
{
    showThenEnable(target);
}

void CommandDispatcher::SetupFirmware(const QString& target)
{
    const int bus = m_main->KVLComm1().BusType();
    const QString title = QStringLiteral("Download Firmware");
    if (gModel == QLatin1String("KVL7100") && bus != 1) {
        MsgBox(QStringLiteral("Please select PCI communication interface for downloading KVL7100 firmware."),
               vbOKOnly + vbCritical, title);
        return;
    }
    if (bus == 4) {
        MsgBox(QStringLiteral("Fimware Download with USB is not yet Supported"), vbOKOnly + vbCritical, title);
        return;
    }
    const QString question = QStringLiteral("The controller firmware update process will perform the following:\r\n"
                                            "1. Erase current firmware from controller's flash memory.\r\n"
                                            "2. Load new firmware into non-volatile flash memory.\r\n"
                                            "3. Reset controller.\r\n"
                                            "\r\n"
                                            "Do you want to update the firmware?");
    if (MsgBox(question, vbYesNo + vbQuestion, QStringLiteral("Update Firmware")) == vbYes) {
        if (Form* download = window(target))
            download->Show();
        else
            notAvailable(target);
    }
}

void CommandDispatcher::SetupAxorn(const QString& target)
{
    enableThenShow(target);
}

void CommandDispatcher::SetupBustype(const QString& target)
{
    enableThenShow(target);
}

void CommandDispatcher::SetupWizard(const QString&)
{
    // A separate program beside ours; whether it starts is not examined.
    QProcess::startDetached(QDir(AppPath()).filePath(QStringLiteral("../Wizard/KVL-Wizard.exe")), {});
}

void CommandDispatcher::SetupResolution(const QString& target)
{
    enableThenShow(target);
}

void CommandDispatcher::SetupTrajectory(const QString& target)
{
    QPointer<Form> form = window(target);
    if (!form)
        return;
    form->Show();
    Clock::pumpOnce();
    // The panel's own buttons may have closed the window meanwhile.
    if (form && form->isLoaded())
        form->setEnabled(true);
}

void CommandDispatcher::SetupInterpolation(const QString& target)
{
    enableThenShow(target);
}

void CommandDispatcher::SetupMasterSlaving(const QString& target)
{
    showThenEnable(target);
}

void CommandDispatcher::SetupErrorCompensation(const QString& target)
{
    enableThenShow(target);
}

// ---------------------------------------------------------------------------------------------
// Motion and status

void CommandDispatcher::MotionEnable(const QString& target)
{
    makeVisible(target);
}

void CommandDispatcher::MotionStop(const QString& target)
{
    QPointer<Form> stop = window(target);
    if (stop)
        stop->setEnabled(true);
    // Every axis; a closed link or demo mode sends nothing, and the window opens all the same.
    m_main->KVLComm1().SendAscii(QStringLiteral("0ST\r"));
    if (stop && stop->isLoaded())
        stop->Show();
}

void CommandDispatcher::MotionJog(const QString& target)
{
    openUnlessLocked(4, target);
}

void CommandDispatcher::MotionCycle(const QString& target)
{
    openUnlessLocked(1, target);
}

void CommandDispatcher::MotionHome(const QString& target)
{
    openUnlessLocked(2, target);
}

void CommandDispatcher::StatusPosition(const QString& target)
{
    makeVisible(target);
}

void CommandDispatcher::StatusHardware(const QString& target)
{
    if (Form* form = window(target))
        form->Show();
    else
        notAvailable(target);
}

// ---------------------------------------------------------------------------------------------
// Window and help

void CommandDispatcher::WindowCascade(const QString&)
{
    // Each window one title bar down and right of the one behind it, at the size it has: a
    // cascade that shrank them would leave the fixed panels unusable.
    if (QMdiArea* area = m_main->MDIClient()) {
        const int step = 500 / Form::TwipsPerPixel;
        const QSize view = area->viewport()->size();
        QPoint place(0, 0);
        QMdiSubWindow* top = nullptr;
        for (QMdiSubWindow* sub : area->subWindowList(QMdiArea::StackingOrder)) {
            if (sub->isHidden())
                continue;
            if (sub->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))
                sub->showNormal();
            if (place != QPoint(0, 0)
                && (place.x() + sub->width() > view.width() || place.y() + sub->height() > view.height()))
                place = QPoint(0, 0);
            sub->move(place);
            sub->raise();
            place += QPoint(step, step);
            top = sub;
        }
        if (top)
            area->setActiveSubWindow(top);
    }
    for (Form* form : Form::Forms()) {
        if (form->Name() != m_main->objectName())
            form->frame()->update();
    }
}

void CommandDispatcher::HelpAbout(const QString& target)
{
    if (Form* about = window(target))
        about->Show();
    else
        notAvailable(target);
}

void CommandDispatcher::HelpCommands(const QString&)
{
    ShowDocument(helpFilePath());
}

void CommandDispatcher::HelpHomePage(const QString&)
{
    ShowDocument(homePage());
}

void CommandDispatcher::Terminal(const QString& target)
{
    for (Form* form : Form::Forms()) {
        const QString name = form->Name();
        if (name == QLatin1String("frmMain") || name == target || !form->Visible())
            continue;
        const QString question = QStringLiteral("All Moxtrel windows must be closed before ")
            + QStringLiteral("opening ASCII Command Terminal window.\r\n\r\n") + QString(35, QLatin1Char(' '))
            + QStringLiteral("Do you want to close all windows?");
        if (MsgBox(question, vbYesNo + vbQuestion, QStringLiteral("Windows Closing")) != vbYes)
            return;
        CloseChildForms();
        break;
    }
    enableThenShow(target);
}
