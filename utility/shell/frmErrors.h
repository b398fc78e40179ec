#pragma once

#include "utility/shell/Form.h"

#include <QPointer>

// The error window: hosts the error panel KVLError1, which lists the controller's errors and the
// program's own messages. Loaded hidden at start; it shows itself when the panel detects errors
// and hides again when the panel is dismissed.
class frmErrors : public Form {
    Q_OBJECT
public:
    static constexpr int DefaultWidth = 7000;  // twips
    static constexpr int DefaultHeight = 6000;

    frmErrors();

    // The error panel (null when the control library offers none).
    QObject* KVLError1() const { return m_panel; }

protected:
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;

private slots:
    void KVLError1_Dismiss();
    void KVLError1_ErrorsDetected();

private:
    QPointer<QObject> m_panel;
};
