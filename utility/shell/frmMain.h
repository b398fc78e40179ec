#pragma once

#include "library/link/CGuiState.h"
#include "utility/shell/CommLink.h"

#include <QMainWindow>
#include <QPointer>
#include <QVector>
#include <functional>
#include <optional>

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QToolBar;
class CommandDispatcher;
class MainMenu;

// The main window: a multiple-document area for every other window, the menus, the toolbar, the
// status bar, and the one communication control KVLComm1 through which the whole program talks to
// the controller.
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int TickInterval = 50; // ms

    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // The program's main window, or null before it exists and after it is gone.
    static frmMain* instance();

    // The communication control (late-bound handle; object() is the control itself).
    CommLink KVLComm1() const;
    // The link's shared GUI state, taken at load.
    CGuiState* mobjGuiState() const { return m_guiState; }
    QMdiArea* MDIClient() const { return m_mdiArea; }

    // Runs the load the first time, then shows the window.
    void Show();
    void MDIForm_Load();

    // Link settings in the settings store. A link that fell to no bus by itself (a failure, a
    // device missing at the open) is saved as it was last in force, so the next start tries it
    // again; a choice of no bus is saved as none.
    void SaveCommSettings(CommLink comm);
    void GetCommSettings(CommLink comm);
    // The operator chose a link (the bus window's Open Port, demo mode from the menu): whatever
    // it becomes is what the store keeps. Before the link is opened.
    void noteLinkChosen();
    // The bus that fell to none by itself since the last choice, 0 when none fell.
    int fallenBusType() const;

    // The model's axis and channel counts into mobjGuiState and the program's copies; true when
    // the defaults were applied. Only a model read sets them: once one was, an identification that
    // does not come changes nothing (false). Lives with the controller initialisation
    // (ControllerInit.cpp).
    bool GetMaxAxes();

    void InitError();
    void DisableMenu();
    void EnableMenu();
    void UpdateStatusBar();

    // The window's unload; the File menu's Exit calls it with its box's answer, where 1 (OK)
    // closes the program and anything else only saves the link settings.
    void MDIForm_Unload(int Cancel);
    // True while a close asked during a wait (a transfer, a download) waits for that to end.
    bool closePending() const { return m_closePending; }

    // Status bar panels, numbered from 1.
    int StatusBarPanelCount() const;
    QString StatusBarPanelText(int index) const;
    void setStatusBarPanelText(int index, const QString& text);

    QMenu* mnuMain(int index) const;
    QAction* mnuFile(int index) const;
    QAction* mnuSetup(int index) const;
    QToolBar* Toolbar1() const { return m_toolbar; }
    // The menu bar and toolbar with their item arrays, and the dispatcher of their keys.
    MainMenu* Menus() const { return m_menus; }
    CommandDispatcher* Dispatcher() const { return m_dispatcher; }
    // Carries out the command of a menu or toolbar key, also of keys that no item produces.
    void MenuDispatch(const QString& key);

    // The count of link ticks the window has seen (it wraps after 1,000,000).
    int TickCounter() const { return m_tickCounter; }
    void setTickCounter(int value) { m_tickCounter = value; }

    // Where start-up hands over to work that lives elsewhere: the controller initialisation, the
    // bus-selection window and, on PCI, the amplifier-power watch. Without a handler the
    // initialisation opens the link (KVLInit, then KVLOpen) and the other two do nothing.
    static void setInitializeControllerHandler(std::function<void(bool bReset)> handler);
    static void setShowBusTypeHandler(std::function<void()> handler);
    static void setCheckAmplifierPowerHandler(std::function<void()> handler);
    void InitializeController(bool bReset);
    void ShowBusType();
    void CheckAmplifierPower();

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void KVLComm1_Timer();
    void KVLComm1_CommErrorEvent(short& ErrorNum);

private:
    void KVLComm1_PropertyChanged(const QString& name);
    // Every status-bar panel emptied, then "Disconnected" and "Demo Mode".
    void showDemoMode();
    void MDIForm_QueryUnload(int& Cancel, int UnloadMode);

    void InitMenuKeys();

    QLabel* addPanel();
    void closeWhenIdle();

    QPointer<QObject> m_comm;
    QPointer<CGuiState> m_guiState;
    QMdiArea* m_mdiArea = nullptr;
    QToolBar* m_toolbar = nullptr;
    QVector<QLabel*> m_panels;
    CommandDispatcher* m_dispatcher = nullptr;
    MainMenu* m_menus = nullptr;

    // The link in force when the control fell to no bus by itself.
    struct SavedLink {
        int bus = 0;
        short port = 1;
        int device = 1;
        QString settings;
    };
    std::optional<SavedLink> m_fallenLink;

    int m_tickCounter = 0;
    int m_currentBus = 0;  // the bus in force, and the one before it, as the control reports them
    int m_previousBus = 0;
    bool m_loaded = false;
    bool m_loading = false;
    bool m_closed = false;
    bool m_closePending = false;
};
