#include "utility/shell/CommandDispatcher.h"

#include "library/link/CGuiState.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"
#include "platform/ui/Shell.h"
#include "utility/shell/ControllerInit.h"
#include "utility/shell/Form.h"
#include "utility/shell/KvlXGlobal.h"
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
    return QDir(AppPath()).filePath(QStringLiteral("MOXTREL.HLP"));
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
        {QStringLiteral("mnuFileResetSystem"), &CommandDispatcher::ResetSystem},
        {QStringLiteral("mnuFileSaveToFlash"), &CommandDispatcher::SaveToFlash},
        {QStringLiteral("mnuFileSaveToFile"), &CommandDispatcher::SaveToFile},
        {QStringLiteral("mnuFileRestoreFromFile"), &CommandDispatcher::RestoreFromFile},
        {QStringLiteral("mnuFileConvertToASCII"), &CommandDispatcher::ConvertToASCII},
        {QStringLiteral("mnuFileDemoMode"), &CommandDispatcher::DemoMode},
        {QStringLiteral("mnuFileRestoreDesktopEnvironment"), &CommandDispatcher::RestoreDesktopEnvironment},
        {QStringLiteral("mnuFileCloseWindows"), &CommandDispatcher::CloseWindows},
        {QStringLiteral("mnuWindowCloseAll"), &CommandDispatcher::CloseWindows},
        {QStringLiteral("mnuFileExit"), &CommandDispatcher::Exit},
        {QStringLiteral("mnuSetupFaults"), &CommandDispatcher::SetupFaults},
        {QStringLiteral("mnuSetupHardware"), &CommandDispatcher::SetupHardware},
        {QStringLiteral("mnuSetupFirmware"), &CommandDispatcher::SetupFirmware},
        {QStringLiteral("mnuSetupAxorn"), &CommandDispatcher::SetupAxorn},
        {QStringLiteral("mnuSetupBustype"), &CommandDispatcher::SetupBustype},
        {QStringLiteral("mnuSetupWizard"), &CommandDispatcher::SetupWizard},
        {QStringLiteral("mnuSetupMotionResolution"), &CommandDispatcher::SetupResolution},
        {QStringLiteral("mnuSetupMotionTrajectory"), &CommandDispatcher::SetupTrajectory},
        {QStringLiteral("mnuTbarTrajectory"), &CommandDispatcher::SetupTrajectory},
        {QStringLiteral("mnuSetupMotionInterpolation"), &CommandDispatcher::SetupInterpolation},
        {QStringLiteral("mnuSetupMotionMasterSlaving"), &CommandDispatcher::SetupMasterSlaving},
        {QStringLiteral("mnuSetupMotionErrorCompensation"), &CommandDispatcher::SetupErrorCompensation},
        {QStringLiteral("mnuMotionEnable"), &CommandDispatcher::MotionEnable},
        {QStringLiteral("mnuTbarEnable"), &CommandDispatcher::MotionEnable},
        {QStringLiteral("mnuMotionStop"), &CommandDispatcher::MotionStop},
        {QStringLiteral("mnuTbarStop"), &CommandDispatcher::MotionStop},
        {QStringLiteral("mnuMotionJog"), &CommandDispatcher::MotionJog},
        {QStringLiteral("mnuTbarJog"), &CommandDispatcher::MotionJog},
        {QStringLiteral("mnuMotionCycle"), &CommandDispatcher::MotionCycle},
        {QStringLiteral("mnuTbarCycle"), &CommandDispatcher::MotionCycle},
        {QStringLiteral("mnuMotionHome"), &CommandDispatcher::MotionHome},
        {QStringLiteral("mnuTbarHome"), &CommandDispatcher::MotionHome},
        {QStringLiteral("mnuStatusPosition"), &CommandDispatcher::StatusPosition},
        {QStringLiteral("mnuTbarPosition"), &CommandDispatcher::StatusPosition},
        {QStringLiteral("mnuStatusHardware"), &CommandDispatcher::StatusHardware},
        {QStringLiteral("mnuWindowCascade"), &CommandDispatcher::WindowCascade},
        {QStringLiteral("mnuHelpAboutKVL7100"), &CommandDispatcher::HelpAbout},
        {QStringLiteral("mnuHelpKVL7100Commands"), &CommandDispatcher::HelpCommands},
        {QStringLiteral("mnuHelpAboutTarvelleHome"), &CommandDispatcher::HelpHomePage},
        {QStringLiteral("mnuTbarTerminal"), &CommandDispatcher::Terminal},
    };
    return commands.value(key, nullptr);
}

void CommandDispatcher::MenuDispatch(const QString& key)
{
    if (!m_main)
        return;
    if (const Command command = commandOf(key))
        (this->*command)();
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

void CommandDispatcher::ResetSystem()
{
    if (MsgBox(QStringLiteral("Do you want to reset Controller"), vbOKCancel + vbQuestion, kProgramTitle) != vbOK)
        return;
    QPointer<frmMain> main = m_main;
    main->InitializeController(true);
    if (main)
        main->UpdateStatusBar();
}

void CommandDispatcher::SaveToFlash()
{
    runProcedure(QStringLiteral("SaveToFlash"));
}

void CommandDispatcher::SaveToFile()
{
    runProcedure(QStringLiteral("SaveParametersToFile"));
}

void CommandDispatcher::RestoreFromFile()
{
    runProcedure(QStringLiteral("RestoreFromFile"));
}

void CommandDispatcher::ConvertToASCII()
{
    runProcedure(QStringLiteral("ConvertParameterFile"));
}

void CommandDispatcher::DemoMode()
{
    runProcedure(QStringLiteral("SetDemoMode"));
}

void CommandDispatcher::RestoreDesktopEnvironment()
{
    ResetDesktopLayout();
}

void CommandDispatcher::CloseWindows()
{
    CloseChildForms();
}

void CommandDispatcher::Exit()
{
    const int answer = MsgBox(QStringLiteral("Do you want to exit Moxtrel Utility?"), vbOKCancel + vbQuestion,
                              QStringLiteral("Moxtrel"));
    if (m_main)
        m_main->MDIForm_Unload(answer);
}

// ---------------------------------------------------------------------------------------------
// Setup

void CommandDispatcher::SetupFaults()
{
    showThenEnable(QStringLiteral("frmSetupTabs"));
}

void CommandDispatcher::SetupHardware()
{
    showThenEnable(QStringLiteral("frmSetupHardware"));
}

void CommandDispatcher::SetupFirmware()
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
        if (Form* download = window(QStringLiteral("statusFlash")))
            download->Show();
        else
            notAvailable(QStringLiteral("statusFlash"));
    }
}

void CommandDispatcher::SetupAxorn()
{
    enableThenShow(QStringLiteral("frmSetupAxorn"));
}

void CommandDispatcher::SetupBustype()
{
    enableThenShow(QStringLiteral("frmBusType"));
}

void CommandDispatcher::SetupWizard()
{
    // A separate program beside ours; whether it starts is not examined.
    QProcess::startDetached(QDir(AppPath()).filePath(QStringLiteral("../Wizard/KVL-Wizard.exe")), {});
}

void CommandDispatcher::SetupResolution()
{
    enableThenShow(QStringLiteral("frmSetupUnits"));
}

void CommandDispatcher::SetupTrajectory()
{
    QPointer<Form> form = window(QStringLiteral("frmTrajectory"));
    if (!form)
        return;
    form->Show();
    Clock::pumpOnce();
    // The panel's own buttons may have closed the window meanwhile.
    if (form && form->isLoaded())
        form->setEnabled(true);
}

void CommandDispatcher::SetupInterpolation()
{
    enableThenShow(QStringLiteral("frmInterpolation"));
}

void CommandDispatcher::SetupMasterSlaving()
{
    showThenEnable(QStringLiteral("frmMasterSlave"));
}

void CommandDispatcher::SetupErrorCompensation()
{
    enableThenShow(QStringLiteral("frmErrComp"));
}

// ---------------------------------------------------------------------------------------------
// Motion and status

void CommandDispatcher::MotionEnable()
{
    makeVisible(QStringLiteral("frmEnable"));
}

void CommandDispatcher::MotionStop()
{
    QPointer<Form> stop = window(QStringLiteral("frmStop"));
    if (stop)
        stop->setEnabled(true);
    // Every axis; a closed link or demo mode sends nothing, and the window opens all the same.
    m_main->KVLComm1().SendAscii(QStringLiteral("0ST\r"));
    if (stop && stop->isLoaded())
        stop->Show();
}

void CommandDispatcher::MotionJog()
{
    openUnlessLocked(4, QStringLiteral("frmJog"));
}

void CommandDispatcher::MotionCycle()
{
    openUnlessLocked(1, QStringLiteral("frmCycle"));
}

void CommandDispatcher::MotionHome()
{
    openUnlessLocked(2, QStringLiteral("frmHome"));
}

void CommandDispatcher::StatusPosition()
{
    makeVisible(QStringLiteral("frmPosition"));
}

void CommandDispatcher::StatusHardware()
{
    if (Form* form = window(QStringLiteral("frmHardwareStatus")))
        form->Show();
    else
        notAvailable(QStringLiteral("frmHardwareStatus"));
}

// ---------------------------------------------------------------------------------------------
// Window and help

void CommandDispatcher::WindowCascade()
{
    if (QMdiArea* area = m_main->MDIClient())
        area->cascadeSubWindows();
    for (Form* form : Form::Forms()) {
        if (form->Name() != m_main->objectName())
            form->frame()->update();
    }
}

void CommandDispatcher::HelpAbout()
{
    if (Form* about = window(QStringLiteral("frmAbout")))
        about->Show();
    else
        notAvailable(QStringLiteral("frmAbout"));
}

void CommandDispatcher::HelpCommands()
{
    ShellOpen(helpFilePath());
}

void CommandDispatcher::HelpHomePage()
{
    ShellOpen(homePage());
}

void CommandDispatcher::Terminal()
{
    for (Form* form : Form::Forms()) {
        const QString name = form->Name();
        if (name == QLatin1String("frmMain") || name == QLatin1String("frmTerminal") || !form->Visible())
            continue;
        const QString question = QStringLiteral("All Moxtrel windows must be closed before ")
            + QStringLiteral("opening ASCII Command Terminal window.\r\n\r\n") + QString(35, QLatin1Char(' '))
            + QStringLiteral("Do you want to close all windows?");
        if (MsgBox(question, vbYesNo + vbQuestion, QStringLiteral("Windows Closing")) != vbYes)
            return;
        CloseChildForms();
        break;
    }
    enableThenShow(QStringLiteral("frmTerminal"));
}
