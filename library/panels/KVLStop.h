#pragma once

#include "library/panels/PanelBase.h"

class QPushButton;

// One large button that stops every axis of the controller at once ("0ST"). It takes no part in
// the lock between motion panels, does not poll and keeps no CGuiState.
class KVLStop : public PanelBase {
    Q_OBJECT
public:
    explicit KVLStop(QWidget* parent = nullptr);

    const platform::DispatchTable* dispatchTable(const QString& interfaceName = QString()) const override;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void btnEStop_Click();

    QPushButton* btnEStop = nullptr;
};
