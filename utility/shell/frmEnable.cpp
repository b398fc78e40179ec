#include "utility/shell/frmEnable.h"

frmEnable::frmEnable()
    : PanelHost(QStringLiteral("frmEnable"), QStringLiteral("Enable/Disable"),
                QStringLiteral("KVL410ActiveX.KVLEnableDisable"), QStringLiteral("KVLEnableDisable1"), Fit::PanelSize)
{
}
