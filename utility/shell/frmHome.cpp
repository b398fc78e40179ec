#include "utility/shell/frmHome.h"

frmHome::frmHome()
    : PanelHost(QStringLiteral("frmHome"), QStringLiteral("Home"), QStringLiteral("KVL410ActiveX.KVLHome"),
                QStringLiteral("KVLHome1"), Fit::PanelSize)
{
}
