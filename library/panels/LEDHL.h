#pragma once

#include "platform/com/Control.h"

class CircleShape;
class QLabel;

// A lamp showing one logic level: "H" on red for high, "L" on black for low. It remembers
// nothing: each switch sets the caption, its colour and the lamp's fill. Placed new it starts low;
// loaded from a stored form it shows the designed "H" on red until it is first switched.
class LEDHL : public platform::Control {
    Q_OBJECT
public:
    explicit LEDHL(QWidget* parent = nullptr);

    void SwitchOn();
    void SwitchOff();

    void InitProperties() override;

    const platform::DispatchTable* dispatchTable(const QString& interfaceName = QString()) const override;
    QVector<QPair<int, QString>> eventTable() const override { return {}; }

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void setLook(const QString& caption, qint32 fill);
    void layoutLamp();

    CircleShape* Shape1 = nullptr;
    QLabel* Label1 = nullptr;
};
