#include "library/panels/CircleShape.h"

#include <QPainter>

CircleShape::CircleShape(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CircleShape::setFillColor(qint32 color)
{
    if (color == m_fillColor)
        return;
    m_fillColor = color;
    update();
}

QColor CircleShape::toQColor(qint32 color)
{
    const quint32 rgb = static_cast<quint32>(color);
    return QColor(int(rgb & 0xFF), int((rgb >> 8) & 0xFF), int((rgb >> 16) & 0xFF));
}

void CircleShape::paintEvent(QPaintEvent* e)
{
    Q_UNUSED(e);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
    painter.setBrush(toQColor(m_fillColor));
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}
