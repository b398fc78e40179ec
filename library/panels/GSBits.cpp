#include "library/panels/GSBits.h"

GSBits::GSBits(QWidget* parent)
    : BitOnOff(parent)
{
    setObjectName(QStringLiteral("GSBits"));
}
