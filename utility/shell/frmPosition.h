#pragma once

#include "utility/shell/PanelHost.h"

// Hosts the position read-out. The window's client area follows the panel's height, which changes
// with the rows shown, so no row is ever cut off; the width stays as it is.
class frmPosition : public PanelHost {
    Q_OBJECT
public:
    frmPosition();

    QObject* KVLPosition1() const { return panel(); }

private slots:
    void KVLPosition1_Resize();
};
