#include "library/panels/KVLStop.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "sim/SimController.h"
#include "tests/support/PanelTestRig.h"

#include <QPushButton>
#include <gtest/gtest.h>

namespace {

TEST(StopPanel, StopsTheWholeControllerWhateverTheCurrentAxis)
{
    PanelTestRig rig;
    KVLStop stop;
    QPushButton* button = stop.findChild<QPushButton*>(QStringLiteral("btnEStop"));
    ASSERT_NE(button, nullptr);

    // Unbound: nothing to send through.
    PanelTestRig::click(button);
    EXPECT_TRUE(rig.lines().isEmpty());

    stop.setCommControl(&rig.comm());
    EXPECT_TRUE(rig.lines().isEmpty()) << "binding sends nothing";
    rig.gui().setCurrentAxis(3);
    PanelTestRig::click(button);
    EXPECT_EQ(rig.lines(), QStringList{QStringLiteral("0ST\r")});

    // Closed link: the link answers -1 and nothing more happens.
    rig.comm().KVLClose();
    rig.clearLines();
    PanelTestRig::click(button);
    EXPECT_TRUE(rig.lines().isEmpty());
    EXPECT_EQ(rig.boxes().count(), 0);

    rig.goDemo();
    PanelTestRig::click(button);
    EXPECT_TRUE(rig.lines().isEmpty());
}

TEST(StopPanel, FailedStopIsReportedOnce)
{
    PanelTestRig rig(BUS_TYPE_PCI);
    KVLStop stop;
    stop.setCommControl(&rig.comm());
    rig.sim().failNext(-2);
    PanelTestRig::click(stop.findChild<QPushButton*>(QStringLiteral("btnEStop")));
    ASSERT_EQ(rig.boxes().count(), 1);
    EXPECT_TRUE(rig.boxes().last().prompt.startsWith(QStringLiteral("Error 1001 ")));
    EXPECT_EQ(rig.comm().BusType(), BUS_TYPE_NONE);
}

TEST(StopPanel, ButtonCoversThePanel)
{
    KVLStop stop;
    QPushButton* button = stop.findChild<QPushButton*>(QStringLiteral("btnEStop"));
    stop.show();
    for (const QSize size : {QSize(37, 250), QSize(400, 12)}) {
        stop.resize(size);
        EXPECT_EQ(button->geometry(), QRect(QPoint(0, 0), size));
    }
}

} // namespace
