#pragma once

#include <QColor>
#include <QWidget>

// A circle with a solid fill that takes the whole of its widget: the lamp of the indicator
// controls. Mouse input passes through to the control that holds it.
class CircleShape : public QWidget {
    Q_OBJECT
public:
    explicit CircleShape(QWidget* parent = nullptr);

    // The fill as a 32-bit RGB value with red in the low byte (255 red, 0 black).
    qint32 FillColor() const { return m_fillColor; }
    void setFillColor(qint32 color);

    static QColor toQColor(qint32 color);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    qint32 m_fillColor = 0;
};
