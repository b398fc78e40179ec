#include "utility/setup/SetupWindows.h"

#include "utility/setup/frmSetupTabs.h"
#include "utility/setup/frmSetupUnits.h"
#include "utility/setup/frmErrComp.h"
#include "utility/setup/frmInterpolation.h"
#include "utility/setup/frmMasterSlave.h"
#include "utility/setup/frmSetupHardware.h"
#include "utility/setup/frmSetupAxorn.h"

#include "utility/shell/CommandDispatcher.h"
#include "utility/shell/Form.h"

#include <QString>

#include <utility>
#include <vector>

namespace KvlXGlobal {

namespace {

// The set-up windows by name, one row each.
std::vector<std::pair<QString, CommandDispatcher::WindowInstance>> setupWindows()
{
    return {
        {QStringLiteral("frmSetupTabs"), [] { return Form::instance<frmSetupTabs>(); }},
        {QStringLiteral("frmSetupUnits"), [] { return Form::instance<frmSetupUnits>(); }},
        {QStringLiteral("frmErrComp"), [] { return Form::instance<frmErrComp>(); }},
        {QStringLiteral("frmSetupAxorn"), [] { return Form::instance<frmSetupAxorn>(); }},
        {QStringLiteral("frmMasterSlave"), [] { return Form::instance<frmMasterSlave>(); }},
        {QStringLiteral("frmInterpolation"), [] { return Form::instance<frmInterpolation>(); }},
        {QStringLiteral("frmSetupHardware"), [] { return Form::instance<frmSetupHardware>(); }},
    };
}

} // namespace

void InstallSetupWindows()
{
    for (auto& [name, instance] : setupWindows())
        CommandDispatcher::setWindow(name, std::move(instance));
}

void UninstallSetupWindows()
{
    for (const auto& entry : setupWindows())
        CommandDispatcher::setWindow(entry.first, {});
}

} // namespace KvlXGlobal
