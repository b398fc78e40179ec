#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class Form;
class frmMain;

// Turns the text key of a menu item or toolbar button into its command: a controller operation, a
// file operation, or opening one of the program's windows. Several keys share one command (a menu
// item and its toolbar twin); keys compare case-sensitively and a key of no command does nothing.
//
// Windows are reached by name. Each is one program-wide instance, loaded on first use; opening it
// again brings the existing one back with its state. Windows and procedures that other parts of the
// program supply are plugged in by name; until one is, its command says so in a box.
class CommandDispatcher : public QObject {
    Q_OBJECT
public:
    explicit CommandDispatcher(frmMain* main);

    void MenuDispatch(const QString& key);

    // The program-wide instance of a window, loaded (hidden) when there is none; null when no
    // window of that name is known.
    using WindowInstance = std::function<Form*()>;
    static Form* window(const QString& name);
    // Plugs a window in under its name (an empty function unplugs it).
    static void setWindow(const QString& name, WindowInstance instance);

    // Procedures by name: "SaveToFlash", "SetDemoMode", "SaveParametersToFile", "RestoreFromFile",
    // "ConvertParameterFile". An empty function unplugs one.
    using Procedure = std::function<void()>;
    static void setProcedure(const QString& name, Procedure procedure);

    // The help file in the program's folder, and the maker's home page.
    static QString helpFilePath();
    static QString homePage();

private:
    using Command = void (CommandDispatcher::*)();
    static Command commandOf(const QString& key);

    // File
    void ResetSystem();
    void SaveToFlash();
    void SaveToFile();
    void RestoreFromFile();
    void ConvertToASCII();
    void DemoMode();
    void RestoreDesktopEnvironment();
    void CloseWindows();
    void Exit();
    // Setup
    void SetupFaults();
    void SetupHardware();
    void SetupFirmware();
    void SetupAxorn();
    void SetupBustype();
    void SetupWizard();
    void SetupResolution();
    void SetupTrajectory();
    void SetupInterpolation();
    void SetupMasterSlaving();
    void SetupErrorCompensation();
    // Motion and status
    void MotionEnable();
    void MotionStop();
    void MotionJog();
    void MotionCycle();
    void MotionHome();
    void StatusPosition();
    void StatusHardware();
    // Window and help
    void WindowCascade();
    void HelpAbout();
    void HelpCommands();
    void HelpHomePage();
    void Terminal();

    // Ways of opening a window: shown then enabled, enabled then shown, and made visible (enabled,
    // shown). Each returns the window, or null after telling the user it is not available yet.
    Form* showThenEnable(const QString& name);
    Form* enableThenShow(const QString& name);
    Form* makeVisible(const QString& name);
    // Opens a motion panel's window unless another panel's move holds it locked.
    void openUnlessLocked(short formId, const QString& name);
    void runProcedure(const QString& name);
    static void notAvailable(const QString& name);

    QPointer<frmMain> m_main;
};
