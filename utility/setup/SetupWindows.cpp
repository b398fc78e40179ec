#include "utility/setup/SetupWindows.h"

#include "utility/setup/frmSetupTabs.h"
#include "utility/setup/frmSetupUnits.h"

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
