#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "library/panels/KVLEnableDisable.h"
#include "library/panels/KVLPosition.h"
#include "sim/SimController.h"
#include "tests/support/PanelTestRig.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

QString readOut(KVLPosition& p, int i)
{
    return p.findChild<QLabel*>(QStringLiteral("numAxisPos_%1").arg(i))->text();
}

// A position read-out of two axes in a window of its own, shown.
struct PositionWindow {
    PositionWindow()
    {
        rig.gui().setMaxFeedbackAxes(2);
        position->setCommControl(&rig.comm());
        host.show();
        settle();
        rig.clearLines();
    }
    PanelTestRig rig{BUS_TYPE_USB, 2};
    QWidget host;
    KVLPosition* position = new KVLPosition(&host);
};

// The position read-out in a window of its own: hidden or minimised it sends nothing, and it reads
// at once when it is back in view.
TEST(DisplayOnlyPanel, PositionReadOutIsSilentOutOfViewAndReadsWhenBack)
{
    PositionWindow window;
    PanelTestRig& rig = window.rig;
    QWidget& host = window.host;
    KVLPosition* position = window.position;
    rig.tick();
    EXPECT_EQ(rig.lines(), (QStringList{"1TP\r", "2TP\r"}));

    host.hide();
    rig.clearLines();
    rig.tick(3);
    EXPECT_TRUE(rig.lines().isEmpty());
    rig.sim().setPosition(2, 4.5);
    host.show();
    settle();
    EXPECT_EQ(rig.lines(), (QStringList{"1TP\r", "2TP\r"})) << "read at once, without waiting for a tick";
    EXPECT_EQ(readOut(*position, 1), QStringLiteral("4.5000"));

    host.showMinimized();
    settle();
    rig.clearLines();
    rig.tick(2);
    EXPECT_TRUE(rig.lines().isEmpty());
    host.showNormal();
    settle();
    EXPECT_EQ(rig.lines(), (QStringList{"1TP\r", "2TP\r"}));

    // Shown again without a tick missed: nothing extra.
    host.hide();
    host.show();
    settle();
    EXPECT_EQ(rig.lines().size(), 2);
}

// The motor-power panel in a minimised sub-window of a multiple-document area: its fifth-tick
// refresh stops and keeps its count; restored, it reads at once.
TEST(DisplayOnlyPanel, MotorPowerInAMinimisedSubWindowWaitsAndKeepsItsTicks)
{
    PanelTestRig rig(BUS_TYPE_USB, 2);
    QMdiArea area;
    area.resize(800, 600);
    auto* content = new QWidget;
    new QVBoxLayout(content);
    auto* panel = new KVLEnableDisable(content);
    content->layout()->addWidget(panel);
    QMdiSubWindow* sub = area.addSubWindow(content);
    panel->setCommControl(&rig.comm());
    area.show();
    sub->show();
    settle();
    rig.clearLines();
    rig.tick(5);
    EXPECT_EQ(rig.lines(), (QStringList{"1MO?\r", "2MO?\r"}));

    sub->showMinimized();
    settle();
    rig.clearLines();
    rig.tick(5);
    EXPECT_TRUE(rig.lines().isEmpty());
    sub->showNormal();
    settle();
    EXPECT_EQ(rig.lines(), (QStringList{"1MO?\r", "2MO?\r"}));
    rig.clearLines();
    rig.tick(4);
    EXPECT_TRUE(rig.lines().isEmpty());
    rig.tick();
    EXPECT_EQ(rig.lines().size(), 2) << "still every fifth tick from the start";
}

// Only the panel out of view is silent: a host that embeds a panel without ever showing it still
// gets its reads.
TEST(DisplayOnlyPanel, APanelNeverShownReadsAsAlways)
{
    PositionWindow window;
    PanelTestRig& rig = window.rig;
    window.host.hide();
    KVLPosition embedded;
    embedded.setCommControl(&rig.comm());
    rig.clearLines();
    rig.tick();
    EXPECT_EQ(rig.lines(), (QStringList{"1TP\r", "2TP\r"}));
}

} // namespace
