#include "library/panels/KVLStop.h"

#include "platform/com/ClassRegistry.h"

#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QResizeEvent>
#include <QtMath>

namespace {

const bool registered = platform::registerClass(QStringLiteral("KVL410ActiveX.KVLStop"),
                                                [](QWidget* parent) -> QObject* { return new KVLStop(parent); });

PanelBase::Options stopOptions()
{
    PanelBase::Options options;
    options.keepsGuiState = false;
    return options;
}

// The button's picture: a red octagon with the word STOP, drawn rather than shipped.
QPixmap stopPicture()
{
    QPixmap picture(120, 116);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath octagon;
    const QPointF centre(60, 58);
    const qreal radius = 54;
    for (int i = 0; i < 8; ++i) {
        const qreal angle = qDegreesToRadians(22.5 + 45.0 * i);
        const QPointF corner(centre.x() + radius * qCos(angle), centre.y() + radius * qSin(angle));
        if (i == 0)
            octagon.moveTo(corner);
        else
            octagon.lineTo(corner);
    }
    octagon.closeSubpath();
    painter.setPen(QPen(Qt::white, 4));
    painter.setBrush(QColor(200, 0, 0));
    painter.drawPath(octagon);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(30);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(picture.rect(), Qt::AlignCenter, QStringLiteral("STOP"));
    return picture;
}

platform::DispatchTable buildTable()
{
    platform::DispatchTable t(QStringLiteral("_KVLStop"));
    t.put<KVLStop>(QStringLiteral("CommControl"), 0x68030000, [](KVLStop& p, QVariantList& a) {
        p.setCommControl(PanelBase::commFromVariant(a.value(0)));
    });
    return t;
}

} // namespace

KVLStop::KVLStop(QWidget* parent)
    : PanelBase(stopOptions(), parent)
{
    Q_UNUSED(registered);
    setObjectName(QStringLiteral("KVLStop"));
    btnEStop = new QPushButton(this);
    btnEStop->setObjectName(QStringLiteral("btnEStop"));
    const QPixmap picture = stopPicture();
    btnEStop->setIcon(QIcon(picture));
    btnEStop->setIconSize(picture.size());
    connect(btnEStop, &QPushButton::clicked, this, &KVLStop::btnEStop_Click);
    resize(picture.size());
    btnEStop->setGeometry(rect());
}

void KVLStop::btnEStop_Click()
{
    // No IsOpen test: a closed link answers -1 and nothing more happens.
    if (!passesGuards(GuardBound | GuardBus))
        return;
    sendCommand(command(0, QStringLiteral("ST")));
}

void KVLStop::resizeEvent(QResizeEvent* e)
{
    PanelBase::resizeEvent(e);
    btnEStop->move(0, 0);
    btnEStop->resize(width(), height());
}

const platform::DispatchTable* KVLStop::dispatchTable(const QString& interfaceName) const
{
    static const platform::DispatchTable table = buildTable();
    if (!interfaceName.isEmpty() && interfaceName != table.interfaceName())
        return nullptr;
    return &table;
}
