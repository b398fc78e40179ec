#include "utility/shell/frmPosition.h"

#include "utility/shell/LateEvent.h"

#include <QWidget>

frmPosition::frmPosition()
    : PanelHost(QStringLiteral("frmPosition"), QStringLiteral("Position"),
                QStringLiteral("KVL410ActiveX.KVLPosition"), QStringLiteral("KVLPosition1"), Fit::PanelSize)
{
    if (QObject* p = panel())
        LateEvent::connect(p, SIGNAL(Resize()), this, SLOT(KVLPosition1_Resize()));
}

void frmPosition::KVLPosition1_Resize()
{
    QWidget* widget = panelWidget();
    if (!widget)
        return;
    widget->move(0, 0);
    setClientHeight(widget->height() * TwipsPerPixel);
}
