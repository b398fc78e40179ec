#include "platform/com/Control.h"

namespace platform {

Control::Control(QWidget* parent)
    : QWidget(parent)
{
}

} // namespace platform
