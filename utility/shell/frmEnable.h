#pragma once

#include "utility/shell/PanelHost.h"

// Hosts the motor-power panel.
class frmEnable : public PanelHost {
    Q_OBJECT
public:
    frmEnable();

    QObject* KVLEnableDisable1() const { return panel(); }
};
