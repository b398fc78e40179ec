#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

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

    // The window a menu or toolbar key opens; empty for a key of another command or of none.
    static QString windowOfKey(const QString& key);
    // Every window reachable by name: those built in and those plugged in, in name order.
    static QStringList windowNames();

    // Everything plugged in, to be put back as it was (by a test that plugs in the whole program).
    struct PlugIns {
        QHash<QString, WindowInstance> windows;
        QHash<QString, Procedure> procedures;
    };
    static PlugIns plugIns();
    static void setPlugIns(const PlugIns& plugIns);

    // The help file in the program's folder, and the maker's home page.
    static QString helpFilePath();
    static QString homePage();

private:
    // A key's command, and the window it opens (empty for the other commands).
    struct Command {
        void (CommandDispatcher::*run)(const QString& target) = nullptr;
        QString window;
    };
    static Command commandOf(const QString& key);

    // File
    void ResetSystem(const QString& target);
    void SaveToFlash(const QString& target);
    void SaveToFile(const QString& target);
    void RestoreFromFile(const QString& target);
    void ConvertToASCII(const QString& target);
    void DemoMode(const QString& target);
    void RestoreDesktopEnvironment(const QString& target);
    void CloseWindows(const QString& target);
    void Exit(const QString& target);
    // Setup
    void SetupFaults(const QString& target);
    void SetupHardware(const QString& target);
    void SetupFirmware(const QString& target);
    void SetupAxorn(const QString& target);
    void SetupBustype(const QString& target);
    void SetupWizard(const QString& target);
    void SetupResolution(const QString& target);
    void SetupTrajectory(const QString& target);
    void SetupInterpolation(const QString& target);
    void SetupMasterSlaving(const QString& target);
    void SetupErrorCompensation(const QString& target);
    // Motion and status
    void MotionEnable(const QString& target);
    void MotionStop(const QString& target);
    void MotionJog(const QString& target);
    void MotionCycle(const QString& target);
    void MotionHome(const QString& target);
    void StatusPosition(const QString& target);
    void StatusHardware(const QString& target);
    // Window and help
    void WindowCascade(const QString& target);
    void HelpAbout(const QString& target);
    void HelpCommands(const QString& target);
    void HelpHomePage(const QString& target);
    void Terminal(const QString& target);

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
