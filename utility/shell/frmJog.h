#pragma once

#include "utility/shell/PanelHost.h"

// Hosts the jog panel, which reports to the error panel of the error window.
class frmJog : public PanelHost {
    Q_OBJECT
public:
    frmJog();

    QObject* KVLJog1() const { return panel(); }

protected:
    void Form_Load() override;
};
