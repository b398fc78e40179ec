#pragma once

#include "utility/shell/PanelHost.h"

// Hosts the stop panel. The panel receiving the input focus stops a running cycle first, so the
// stop button ends the cycle as well as every move.
class frmStop : public PanelHost {
    Q_OBJECT
public:
    frmStop();

    QObject* KVLStop1() const { return panel(); }

private:
    void focusChanged(QWidget* old, QWidget* now);
    void KVLStop1_GotFocus();
};
