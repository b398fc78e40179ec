#pragma once

#include "platform/com/Control.h"

class CircleShape;

// Shows one bit as a filled circle, OnColor while Value is True and OffColor while it is False.
// When Enabled, a click toggles the bit, repaints it and raises Click (the toggle has happened
// when the host's handler runs). Colours are 32-bit RGB values with red in the low byte.
//
// Enabled is the control's own property: it decides whether a click toggles the bit and leaves
// the drawing alone. It hides QWidget::setEnabled on purpose; the widget's own enabled state is
// not touched.
class BitOnOff : public platform::Control {
    Q_OBJECT
public:
    static constexpr qint32 DefaultOnColor = 255;
    static constexpr qint32 DefaultOffColor = 0;

    explicit BitOnOff(QWidget* parent = nullptr);

    qint32 OnColor() const { return m_OnColor; }
    // Takes effect at the next change of Value: the circle is not repainted.
    void setOnColor(qint32 NewColor);
    bool Enabled() const { return m_Enabled; }
    void setEnabled(bool New_Enabled);
    qint32 OffColor() const { return m_OffColor; }
    // Repaints at once while Value is False.
    void setOffColor(qint32 NewColor);
    void Refresh();
    bool Value() const { return m_Value; }
    // Repaints and reports the change, also when the value is unchanged.
    void setValue(bool New_Value);

    // The circle's fill as painted now.
    qint32 fillColor() const;

    void InitProperties() override;
    void ReadProperties(const platform::PropertyBag& bag) override;
    void WriteProperties(platform::PropertyBag& bag) const override;

    const platform::DispatchTable* dispatchTable(const QString& interfaceName = QString()) const override;
    QVector<QPair<int, QString>> eventTable() const override;

signals:
    void Click();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void UserControl_Click();

    CircleShape* Shape1 = nullptr;
    bool m_Enabled = false;
    bool m_Value = false;
    qint32 m_OnColor = DefaultOnColor;
    qint32 m_OffColor = DefaultOffColor;
    bool m_pressed = false;
};
