#include "tests/support/PciShellTest.h"

#include "library/link/BusType.h"
#include "library/link/KVLComm.h"
#include "platform/drivers/PciDriver.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/FileDialog.h"
#include "platform/ui/MsgBox.h"
#include "sim/SimController.h"

void PciShellTest::SetUp()
{
    platform::Clock::useManualClock();
    platform::drivers::removeAllPciBoards();
    device.installOnPci(0);
    rig.store(QStringLiteral("KVLComm"), QStringLiteral("BusType"), QString::number(BUS_TYPE_PCI));
    rig.store(QStringLiteral("KVLComm"), QStringLiteral("DeviceID"), QStringLiteral("0"));
    rig.store(QStringLiteral("frmMain"), QStringLiteral("FirstTime"), QStringLiteral("0"));
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
    rig.start();
    rig.comm()->setTimerEnabled(false);
    sim().clearLog();
    rig.boxes.clear();
    rig.answer = {};
}

void PciShellTest::TearDown()
{
    platform::setFileDialogHandler({});
    rig.destroyMain();
    device.uninstall();
    platform::drivers::removeAllPciBoards();
    platform::Clock::useRealClock();
}
