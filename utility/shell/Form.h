#pragma once

#include <QList>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

class QMdiArea;
class QMdiSubWindow;

// A window of the program other than the main window. Each is one program-wide instance named by
// its objectName ("frmJog"): loaded on first use, shown modeless inside the main window's
// multiple-document area, and unloaded by the user's close box, by code, or when the main window
// closes. Places and sizes are in twips (15 to a pixel) and describe the whole window, frame
// included, relative to the main window's client area.
//
// A window with a fixed border keeps the size code gives it: arranging the windows or dragging a
// frame edge does not change it. A window with a layout opens at least at the size its layout
// asks for. A window opened without a stored place goes one step down and right of the last
// such window, and every window opens inside the visible part of the area.
//
// A subclass sets its name and caption in its constructor and does its set-up in Form_Load, its
// clean-up in Form_Unload (which may refuse by setting Cancel).
class Form : public QWidget {
    Q_OBJECT
public:
    // Border styles.
    enum : int { vbBSNone = 0, vbFixedSingle = 1, vbSizable = 2, vbFixedDialog = 3, vbFixedToolWindow = 4,
                 vbSizableToolWindow = 5 };
    // Why a window is being unloaded.
    enum : int { vbFormControlMenu = 0, vbFormCode = 1, vbAppWindows = 2, vbAppTaskManager = 3, vbFormMDIForm = 4,
                 vbFormOwner = 5 };
    static constexpr int TwipsPerPixel = 15;

    explicit Form(const QString& name, QWidget* parent = nullptr);
    ~Form() override;

    QString Name() const { return objectName(); }

    int BorderStyle() const { return m_borderStyle; }
    void setBorderStyle(int style);
    // A multiple-document child (the default) lives in the main window's area; any other window is
    // a window of its own. Set before Load.
    bool MDIChild() const { return m_mdiChild; }
    void setMDIChild(bool child) { m_mdiChild = child; }

    // The whole window's place in twips. Setting one of them on a minimised or maximised window
    // brings it back to its normal state first.
    int Left() const;
    void setLeft(int twips);
    int Top() const;
    void setTop(int twips);
    int Width() const;
    void setWidth(int twips);
    int Height() const;
    void setHeight(int twips);
    // The place the window has, or would have again, in its normal state (not minimised or
    // maximised), in twips.
    QRect normalPlace() const;
    // The client area in twips.
    int ScaleWidth() const;
    int ScaleHeight() const;

    // Moves the window so that the whole frame lies in the visible part of the main window's area
    // (the top left corner first, when it is larger than that).
    void pullIntoView();
    // Shrinks the frame to the visible part of the main window's area where it is larger: a size
    // stored on a larger screen or edited by hand must not make a window no one can see whole.
    void limitSizeToView();

    bool isLoaded() const { return m_loaded; }
    // Runs Form_Load once; the window stays hidden.
    void Load();
    // Loads the window if needed, shows it modeless and brings it to the front.
    void Show();
    void Hide();
    bool Visible() const;

    // Runs Form_QueryUnload and Form_Unload; unless one of them cancels, the window is hidden at
    // once, leaves the loaded windows and is destroyed when no code is waiting any more. Returns
    // false when the window refused.
    static bool Unload(Form* form, int unloadMode = vbFormCode);

    // The loaded windows, in the order they were loaded.
    static QList<Form*> Forms();
    static Form* loadedForm(const QString& name);
    // The loaded instance of T, loaded (hidden) when there is none.
    template <class T>
    static T* instance()
    {
        for (Form* f : Forms()) {
            if (T* t = dynamic_cast<T*>(f))
                return t;
        }
        T* t = new T();
        t->Load();
        return t;
    }

    // The window that carries the frame: the multiple-document child, or the form itself.
    QWidget* frame() const;

    // The multiple-document area new child windows go into (the main window's); null: none.
    static void setMdiArea(QMdiArea* area);
    static QMdiArea* mdiArea();

protected:
    virtual void Form_Load() {}
    virtual void Form_QueryUnload(int& Cancel, int UnloadMode)
    {
        Q_UNUSED(Cancel);
        Q_UNUSED(UnloadMode);
    }
    virtual void Form_Unload(int& Cancel) { Q_UNUSED(Cancel); }

    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Makes the client area at least size (pixels), the frame growing around it.
    void growClientTo(const QSize& size);

private:
    // Unloads a window whose Form_Load failed: Form_Unload runs, but neither a refusal nor a
    // failure of it keeps the window loaded.
    void unloadAfterFailedLoad();
    // The part of an unload that follows the window's own handlers.
    void finishUnload();
    bool frameIsNormal() const;
    void makeNormal();
    QRect framePlacePixels() const;
    void setFramePlacePixels(const QRect& place);
    // The visible part of the main window's area (the screen's for a top-level window); invalid
    // when there is none.
    QRect viewPixels() const;
    void embed();
    // Removes this window's event filter from its frame.
    void releaseFrame();
    void applySizeRule();
    void placeByDefault();
    bool hasFixedSize() const;
    QSize clientSize() const;

    int m_borderStyle = vbSizable;
    bool m_mdiChild = true;
    bool m_loaded = false;
    bool m_unloading = false;
    QPointer<QMdiSubWindow> m_subWindow;
    QPointer<QObject> m_filteredFrame; // the frame this window's event filter is on
    QRect m_lastNormal; // pixels, taken as the window leaves its normal state
    bool m_leftNormal = false;
    bool m_placed = false;    // a place was given by code or the settings store
    bool m_shownOnce = false;
};
