#pragma once

#include "utility/shell/Form.h"

#include <QPointer>

// A child window that hosts one panel control of the control library. The panel is created by its
// program identifier and named after its place on the window ("KVLStop1"); each load binds it to
// the main window's communication control (its CommControl, called by dispatch identifier) and
// restores the window's place; each unload saves the place.
//
// A window whose panel fills it follows the window's size; the others open with their client
// area at the panel's size.
class PanelHost : public Form {
    Q_OBJECT
public:
    // The hosted panel (null when the control library offers none).
    QObject* panel() const { return m_panel; }
    QWidget* panelWidget() const;

protected:
    enum class Fit { PanelSize, FillClient };

    PanelHost(const QString& name, const QString& caption, const QString& progId, const QString& panelName,
              Fit fit);

    // Binds the panel, then restores the place. Windows with more to do override it and use the
    // steps below.
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Client area at the panel's size (the frame grows around it).
    void fitClientToPanel();
    // The client area's height in twips, the frame around it kept.
    void setClientHeight(int twips);
    // Sets a member of the panel by name, late-bound (a property put).
    void putPanelProperty(const QString& name, QObject* value);
    void bindPanel();

private:
    // The frame's width and height beyond the client area, in pixels.
    QSize frameExtra() const;

    QPointer<QObject> m_panel;
    Fit m_fit;
};
