#pragma once

#include "utility/shell/PanelHost.h"

// Hosts the stop panel. The panel receiving the input focus stops a running cycle as well, so the
// stop button ends the cycle and every move; its own "0ST" goes out first.
class frmStop : public PanelHost {
    Q_OBJECT
public:
    frmStop();

    QObject* KVLStop1() const { return panel(); }

private:
    void focusChanged(QWidget* old, QWidget* now);
    void KVLStop1_GotFocus();
};
