#include "tests/support/ResetAnswer.h"

#include "platform/ui/MsgBox.h"

namespace ResetAnswer {

QString prompt()
{
    return QStringLiteral("Do you want to reset controller");
}

Handler no(Handler others)
{
    return [others = std::move(others)](const ShellRig::Box& box) {
        if (box.prompt == prompt())
            return int(platform::vbNo);
        return others ? others(box) : int(platform::vbOK);
    };
}

} // namespace ResetAnswer
