#include "platform/EventBoundary.h"

#include "platform/RuntimeError.h"
#include "platform/ui/MsgBox.h"

#include <exception>

namespace platform {

bool guardEvent(const std::function<void()>& run, const std::function<void(const RuntimeError&)>& onLinkFailure)
{
    try {
        try {
            run();
            return true;
        } catch (const RuntimeError& error) {
            if (!onLinkFailure || !error.isLinkFailure())
                throw;
            onLinkFailure(error);
        }
    } catch (const RuntimeError& error) {
        MsgBox(QStringLiteral("Error %1 %2 %3").arg(error.Number).arg(error.Description, error.Source), 0);
    } catch (const std::exception& error) {
        MsgBox(QStringLiteral("Error %1").arg(QString::fromLocal8Bit(error.what())), 0);
    } catch (...) {
        MsgBox(QStringLiteral("Error (unknown)"), 0);
    }
    return false;
}

} // namespace platform
