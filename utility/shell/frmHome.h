#pragma once

#include "utility/shell/PanelHost.h"

// Hosts the home panel.
class frmHome : public PanelHost {
    Q_OBJECT
public:
    frmHome();

    QObject* KVLHome1() const { return panel(); }
};
