#include "tests/support/ControllerHandlers.h"

#include "utility/shell/CommandDispatcher.h"
#include "utility/shell/ControllerInit.h"
#include "utility/shell/frmMain.h"

ControllerHandlers::ControllerHandlers()
{
    KvlXGlobal::InstallControllerHandlers();
}

ControllerHandlers::~ControllerHandlers()
{
    frmMain::setInitializeControllerHandler({});
    frmMain::setShowBusTypeHandler({});
    frmMain::setCheckAmplifierPowerHandler({});
    CommandDispatcher::setProcedure(QStringLiteral("SaveToFlash"), {});
    CommandDispatcher::setProcedure(QStringLiteral("SetDemoMode"), {});
    CommandDispatcher::setWindow(QStringLiteral("frmBusType"), {});
}
