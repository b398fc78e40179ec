#pragma once

#include "library/panels/PanelBase.h"

#include <QVector>

class GSBits;
class QGroupBox;
class QLabel;
class QPushButton;

// Motor power of axes 1 to 6: one bit per axis shows whether the motor is powered (green on, pale
// yellow off, grey for an axis without a motor, empty in the frame's own colour while its state
// has not been read on the link) and switches it when clicked; All ON and All OFF
// switch every axis with a motor. The bits follow the controller every fifth tick while the panel
// is in view, and at once when it comes back into view. The bits are
// driven late-bound, by their dispatch identifiers, as any host drives them.
class KVLEnableDisable : public PanelBase {
    Q_OBJECT
public:
    explicit KVLEnableDisable(QWidget* parent = nullptr);

    const platform::DispatchTable* dispatchTable(const QString& interfaceName = QString()) const override;

protected:
    void setUp() override;
    void onTimer() override;
    void refreshView() override { RefreshMotorPower(); }

private:
    void buildControls();
    void SetupPanel();
    void InitializeAxes();
    void RefreshMotorPower();
    void bitMotorPower_Click(int Index);
    void switchAll(const QString& mnemonic);
    void greyOut(int index);
    // The lamp of a state read from the controller, and of one not read (no level).
    void showPower(int index, bool on);
    void showNoLevel(int index);
    void putBit(int index, int dispid, const QVariant& value);
    // Axes served: MaxAxes within 0 to 6.
    int servedAxes() const { return probedAxisCount(); }

    QGroupBox* frameMotorPower = nullptr;
    QVector<GSBits*> bitMotorPower;
    QVector<QLabel*> lblMotorPower;
    QPushButton* btnAllOn = nullptr;
    QPushButton* btnAllOff = nullptr;

    MotorTable m_MotorPresent{};
    TickCounter m_ticks{5};
    int m_nextAxis = 0; // where the next refresh starts when a slow line cut the last one short
};
