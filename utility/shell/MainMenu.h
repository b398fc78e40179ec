#pragma once

#include <QObject>
#include <QString>
#include <QVector>

#include <array>
#include <functional>

class QAction;
class QMainWindow;
class QMdiArea;
class QMenu;
class QToolBar;

// The main window's menu bar and toolbar, built from one table of captions, shortcuts and keys.
//
// Menu items form control arrays (mnuFile, mnuSetup, ...) indexed as designed; an index without an
// item has none. Every item and every toolbar button stands for a text key; choosing one hands its
// key to the dispatch function. An item's key comes from its array's key table, which InitMenuKeys
// fills once: before that, choosing an item does nothing.
//
// A top-level menu that is disabled also silences its items: their shortcuts still reach the item
// (a disabled menu does not disable its actions), and the item then does nothing.
class MainMenu : public QObject {
    Q_OBJECT
public:
    // The control arrays of items, in menu-bar order.
    enum Array { File, Setup, SetupMotion, Motion, Status, Window, Help, ArrayCount };
    static constexpr int TopLevelCount = 6;

    MainMenu(QMainWindow* window, QToolBar* toolbar, QMdiArea* area, std::function<void(const QString&)> dispatch);

    // The array's name ("mnuFile"), and its key table's size.
    static QString arrayName(Array array);
    static int keyTableSize(Array array);

    void InitMenuKeys();

    // The six top-level menus (mnuMain), the items (null where the array has none), and the key
    // an item stands for ("" before InitMenuKeys or where there is none).
    QMenu* mnuMain(int index) const;
    QAction* item(Array array, int index) const;
    QString key(Array array, int index) const;
    // The item arrays' click handlers: the key of the item at index, when its menu is available.
    void Click(Array array, int index);

    // Toolbar buttons in their order; each carries its key as data and as its object name.
    QVector<QAction*> toolbarButtons() const { return m_buttons; }
    QAction* toolbarButton(const QString& key) const;
    void Toolbar1_ButtonClick(QAction* button);

    // Whether the menu holding the array's items is enabled (a top-level menu).
    bool menuAvailable(Array array) const;
    void setMenusEnabled(bool enabled);
    // Every toolbar button but those whose key is in keep.
    void setButtonsEnabled(bool enabled, const QStringList& keep = {});

private:
    void build(QMainWindow* window, QToolBar* toolbar);
    void listWindows();

    std::function<void(const QString&)> m_dispatch;
    QMdiArea* m_area = nullptr;
    QVector<QMenu*> m_mnuMain;
    std::array<QVector<QAction*>, ArrayCount> m_items;
    std::array<QVector<QString>, ArrayCount> m_keys;
    QVector<QAction*> m_buttons;
    QVector<QAction*> m_windowList; // the Window menu's entries for the open child windows
};
