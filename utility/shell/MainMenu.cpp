#include "utility/shell/MainMenu.h"

#include <QAction>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QToolBar>

namespace {

// How an item stands at start. Nothing changes it later, so a Greyed or Hidden item can only be
// reached through its key.
enum Design { Shown, Greyed, Hidden, Checkable, Submenu };

struct ItemRow {
    MainMenu::Array array;
    int index;
    const char* caption; // null: the key table has the key, the menu has no item
    int shortcut;        // a letter with Ctrl, or 0
    const char* key;
    Design design;
};

const char* const kMenuCaptions[MainMenu::TopLevelCount] = {"&File", "Set&up", "&Motion", "&Status", "&Window",
                                                            "&Help"};

// In menu order.
const ItemRow kItems[] = {
    {MainMenu::File, 0, "&Reset System", 0, "mnuFileResetSystem", Shown},
    {MainMenu::File, 1, "-", 0, "", Shown},
    {MainMenu::File, 2, "&Save to Flash", Qt::Key_C, "mnuFileSaveToFlash", Shown},
    {MainMenu::File, 3, "Save &To File", Qt::Key_S, "mnuFileSaveToFile", Shown},
    {MainMenu::File, 4, "Restore &From File", Qt::Key_O, "mnuFileRestoreFromFile", Shown},
    {MainMenu::File, 5, nullptr, 0, "mnuFileConvertToASCII", Shown},
    {MainMenu::File, 6, "&Demo Mode", 0, "mnuFileDemoMode", Checkable},
    {MainMenu::File, 7, "-", 0, "", Shown},
    {MainMenu::File, 8, "Restore Desktop &Environment", 0, "mnuFileRestoreDesktopEnvironment", Shown},
    {MainMenu::File, 9, "Close &All Windows", 0, "mnuFileCloseWindows", Greyed},
    {MainMenu::File, 10, "-", 0, "", Shown},
    {MainMenu::File, 11, "E&xit", Qt::Key_X, "mnuFileExit", Shown},
    {MainMenu::Setup, 0, "&Motion", 0, "", Submenu},
    {MainMenu::SetupMotion, 0, "&Resolution", 0, "mnuSetupMotionResolution", Shown},
    {MainMenu::SetupMotion, 1, "&Trajectory", 0, "mnuSetupMotionTrajectory", Shown},
    {MainMenu::SetupMotion, 2, "&Interpolation", 0, "mnuSetupMotionInterpolation", Shown},
    {MainMenu::SetupMotion, 3, "&Master-Slaving", 0, "mnuSetupMotionMasterSlaving", Greyed},
    {MainMenu::SetupMotion, 4, "&Error Compensation", 0, "mnuSetupMotionErrorCompensation", Shown},
    {MainMenu::Setup, 1, "&Faults", 0, "mnuSetupFaults", Shown},
    {MainMenu::Setup, 2, "&Hardware", 0, "mnuSetupHardware", Shown},
    {MainMenu::Setup, 3, "&Firmware", 0, "mnuSetupFirmware", Hidden},
    {MainMenu::Setup, 4, "&Axorn", 0, "mnuSetupAxorn", Shown},
    {MainMenu::Setup, 5, "&Communications", 0, "mnuSetupBustype", Shown},
    {MainMenu::Setup, 6, nullptr, 0, "mnuSetupWizard", Shown},
    {MainMenu::Motion, 0, "&Stop", 0, "mnuMotionStop", Shown},
    {MainMenu::Motion, 1, "&Home", 0, "mnuMotionHome", Shown},
    {MainMenu::Motion, 2, "&Jog", 0, "mnuMotionJog", Shown},
    {MainMenu::Motion, 3, "&Cycle", 0, "mnuMotionCycle", Shown},
    {MainMenu::Motion, 4, "&Enable", 0, "mnuMotionEnable", Shown},
    {MainMenu::Status, 0, "&Position", 0, "mnuStatusPosition", Shown},
    {MainMenu::Status, 1, "&Hardware", 0, "mnuStatusHardware", Shown},
    {MainMenu::Window, 0, "&Cascade", 0, "mnuWindowCascade", Shown},
    {MainMenu::Window, 1, "Close &All Windows", 0, "mnuWindowCloseAll", Shown},
    {MainMenu::Help, 0, "&About KVL Controller", 0, "mnuHelpAboutKVL7100", Shown},
    {MainMenu::Help, 1, "&Tarvelle Homepage", 0, "mnuHelpAboutTarvelleHome", Shown},
    {MainMenu::Help, 2, "&KVL Commands", 0, "mnuHelpKVL7100Commands", Hidden},
};

struct ButtonRow {
    const char* caption;
    const char* key;
    const char* toolTip;
};

const ButtonRow kButtons[] = {
    {"Enable", "mnuTbarEnable", "Enable Motor Power"},
    {"Stop", "mnuTbarStop", "Stop All Motion"},
    {"Jog", "mnuTbarJog", "Jog Stages"},
    {"Trajectory", "mnuTbarTrajectory", "Setup Trajectory Parameters"},
    {"Cycle", "mnuTbarCycle", "Cycle Stages"},
    {"Home", "mnuTbarHome", "Home Stages"},
    {"Position", "mnuTbarPosition", "Read Position"},
    {"Terminal", "mnuTbarTerminal", "Send ASCII Commands"},
};

// The top-level menu that holds an array's items.
int topLevelOf(MainMenu::Array array)
{
    switch (array) {
    case MainMenu::File: return 0;
    case MainMenu::Setup:
    case MainMenu::SetupMotion: return 1;
    case MainMenu::Motion: return 2;
    case MainMenu::Status: return 3;
    case MainMenu::Window: return 4;
    case MainMenu::Help: return 5;
    default: return -1;
    }
}

} // namespace

MainMenu::MainMenu(QMainWindow* window, QToolBar* toolbar, QMdiArea* area,
                   std::function<void(const QString&)> dispatch)
    : QObject(window)
    , m_dispatch(std::move(dispatch))
    , m_area(area)
{
    setObjectName(QStringLiteral("MainMenu"));
    for (int a = 0; a < ArrayCount; ++a) {
        m_items[a].fill(nullptr, keyTableSize(Array(a)));
        m_keys[a].fill(QString(), keyTableSize(Array(a)));
    }
    build(window, toolbar);
}

QString MainMenu::arrayName(Array array)
{
    static const char* const names[ArrayCount] = {"mnuFile",   "mnuSetup",  "mnuSetupMotion", "mnuMotion",
                                                  "mnuStatus", "mnuWindow", "mnuHelp"};
    return QString::fromLatin1(names[array]);
}

int MainMenu::keyTableSize(Array array)
{
    static const int sizes[ArrayCount] = {13, 8, 5, 6, 3, 3, 4};
    return sizes[array];
}

void MainMenu::build(QMainWindow* window, QToolBar* toolbar)
{
    for (int i = 0; i < TopLevelCount; ++i) {
        QMenu* menu = window->menuBar()->addMenu(QString::fromLatin1(kMenuCaptions[i]));
        menu->setObjectName(QStringLiteral("mnuMain_%1").arg(i));
        menu->menuAction()->setObjectName(QStringLiteral("mnuMain_%1").arg(i));
        m_mnuMain.append(menu);
    }
    QMenu* setupMotion = nullptr;

    for (const ItemRow& row : kItems) {
        if (!row.caption)
            continue;
        const QString name = arrayName(row.array) + QLatin1Char('_') + QString::number(row.index);
        QMenu* menu = row.array == SetupMotion ? setupMotion : m_mnuMain[topLevelOf(row.array)];
        QAction* action = nullptr;
        if (row.design == Submenu) {
            setupMotion = menu->addMenu(QString::fromLatin1(row.caption));
            setupMotion->setObjectName(QStringLiteral("mnuSetupMotion"));
            action = setupMotion->menuAction();
        } else if (qstrcmp(row.caption, "-") == 0) {
            action = menu->addSeparator();
        } else {
            action = menu->addAction(QString::fromLatin1(row.caption));
            if (row.shortcut)
                action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(row.shortcut)));
            const Array array = row.array;
            const int index = row.index;
            connect(action, &QAction::triggered, this, [this, action, array, index] {
                // A disabled menu keeps its items' shortcuts working: its items stay out of reach
                // all the same while work that disabled the menus runs.
                if (!m_mnuMain[topLevelOf(array)]->menuAction()->isEnabled())
                    return;
                // The check mark shows a state that the command itself switches: undo the flip the
                // action made on its own before the command reads it.
                if (action->isCheckable())
                    action->setChecked(!action->isChecked());
                Click(array, index);
            });
        }
        action->setObjectName(name);
        action->setCheckable(row.design == Checkable);
        if (row.design == Greyed || row.design == Hidden)
            action->setEnabled(false);
        if (row.design == Hidden)
            action->setVisible(false);
        m_items[row.array][row.index] = action;
    }

    connect(m_mnuMain[topLevelOf(Window)], &QMenu::aboutToShow, this, &MainMenu::listWindows);

    toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (const ButtonRow& row : kButtons) {
        QAction* button = toolbar->addAction(QString::fromLatin1(row.caption));
        button->setObjectName(QString::fromLatin1(row.key));
        button->setData(QString::fromLatin1(row.key));
        button->setToolTip(QString::fromLatin1(row.toolTip));
        connect(button, &QAction::triggered, this, [this, button] { Toolbar1_ButtonClick(button); });
        m_buttons.append(button);
    }
}

void MainMenu::InitMenuKeys()
{
    for (const ItemRow& row : kItems)
        m_keys[row.array][row.index] = QString::fromLatin1(row.key);
}

QMenu* MainMenu::mnuMain(int index) const
{
    return m_mnuMain.value(index, nullptr);
}

QAction* MainMenu::item(Array array, int index) const
{
    if (array < 0 || array >= ArrayCount)
        return nullptr;
    return m_items[array].value(index, nullptr);
}

QString MainMenu::key(Array array, int index) const
{
    if (array < 0 || array >= ArrayCount)
        return QString();
    return m_keys[array].value(index);
}

bool MainMenu::menuAvailable(Array array) const
{
    const QMenu* menu = mnuMain(topLevelOf(array));
    return menu && menu->menuAction()->isEnabled();
}

void MainMenu::Click(Array array, int index)
{
    if (!menuAvailable(array))
        return;
    const QString k = key(array, index);
    if (!k.isEmpty())
        m_dispatch(k);
}

QAction* MainMenu::toolbarButton(const QString& key) const
{
    for (QAction* button : m_buttons) {
        if (button->data().toString() == key)
            return button;
    }
    return nullptr;
}

void MainMenu::Toolbar1_ButtonClick(QAction* button)
{
    if (button)
        m_dispatch(button->data().toString());
}

void MainMenu::setMenusEnabled(bool enabled)
{
    for (QMenu* menu : m_mnuMain)
        menu->menuAction()->setEnabled(enabled);
}

void MainMenu::setButtonsEnabled(bool enabled, const QStringList& keep)
{
    for (QAction* button : m_buttons) {
        if (!keep.contains(button->data().toString()))
            button->setEnabled(enabled);
    }
}

// The Window menu ends with the open child windows; choosing one brings it to the front.
void MainMenu::listWindows()
{
    qDeleteAll(m_windowList);
    m_windowList.clear();
    if (!m_area)
        return;
    QMenu* menu = m_mnuMain[topLevelOf(Window)];
    QMdiSubWindow* active = m_area->activeSubWindow();
    int number = 0;
    for (QMdiSubWindow* sub : m_area->subWindowList()) {
        if (sub->isHidden())
            continue;
        if (number == 0)
            m_windowList.append(menu->addSeparator());
        ++number;
        QAction* entry = menu->addAction(QStringLiteral("&%1 %2").arg(number).arg(sub->windowTitle()));
        entry->setCheckable(true);
        entry->setChecked(sub == active);
        QPointer<QMdiSubWindow> target(sub);
        QPointer<QMdiArea> area(m_area);
        connect(entry, &QAction::triggered, this, [target, area] {
            if (!target || !area)
                return;
            // Chosen again, a minimised window comes back as it was.
            if (target->isMinimized())
                target->showNormal();
            area->setActiveSubWindow(target);
        });
        m_windowList.append(entry);
    }
}
