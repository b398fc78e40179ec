#pragma once

#include "utility/shell/PanelHost.h"

// Hosts the trajectory and servo tuning panel; the panel's help button opens the help file. The
// window always opens at its designed size, at its stored place.
class frmTrajectory : public PanelHost {
    Q_OBJECT
public:
    static constexpr int DesignWidth = 7250; // twips
    static constexpr int DesignHeight = 5130;

    frmTrajectory();

    QObject* KVLTrajectory1() const { return panel(); }

protected:
    void Form_Load() override;

private slots:
    void KVLTrajectory1_HelpClicked();
};
