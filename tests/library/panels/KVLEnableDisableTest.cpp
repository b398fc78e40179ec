#include "library/panels/KVLEnableDisable.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "library/panels/GSBits.h"
#include "platform/com/ClassRegistry.h"
#include "sim/SimController.h"
#include "tests/support/PanelTestRig.h"

#include <QCoreApplication>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr qint32 Green = 0x00FF00;
constexpr qint32 PaleYellow = 0xC0FFFF;
constexpr qint32 Grey = 0xC0C0C0;

GSBits* bit(KVLEnableDisable& p, int i)
{
    return p.findChild<GSBits*>(QStringLiteral("bitMotorPower_%1").arg(i));
}
QPushButton* button(KVLEnableDisable& p, const char* name)
{
    return p.findChild<QPushButton*>(QString::fromLatin1(name));
}

TEST(MotorPowerPanel, ShowsMotorsSwitchesThemAllAndGreysTheRest)
{
    PanelTestRig rig(BUS_TYPE_USB, 3);
    rig.sim().setReply("2QM?", "0\r\n");
    rig.sim().receive("3MO\r", true);
    rig.clearLines();
    std::unique_ptr<QObject> created(platform::createObject(QStringLiteral("KVL410ActiveX.KVLEnableDisable")));
    auto* panel = qobject_cast<KVLEnableDisable*>(created.get());
    ASSERT_NE(panel, nullptr);
    for (int i = 0; i < 6; ++i) {
        EXPECT_FALSE(bit(*panel, i)->Enabled());
        EXPECT_EQ(bit(*panel, i)->fillColor(), PaleYellow);
    }
    platform::invoke(panel, 0x68030001, platform::MemberKind::PropertyPut,
                     {QVariant::fromValue<QObject*>(&rig.comm())});

    EXPECT_EQ(rig.lines(), (QStringList{"1QM?\r", "2QM?\r", "3QM?\r", "1MO?\r", "3MO?\r"}));
    for (int i : {0, 2}) {
        EXPECT_TRUE(bit(*panel, i)->Enabled()) << i;
        EXPECT_EQ(bit(*panel, i)->OffColor(), PaleYellow);
    }
    EXPECT_EQ(bit(*panel, 0)->fillColor(), PaleYellow);
    EXPECT_EQ(bit(*panel, 2)->fillColor(), Green);
    for (int i : {1, 3, 4, 5}) {
        EXPECT_FALSE(bit(*panel, i)->Enabled()) << i;
        EXPECT_FALSE(bit(*panel, i)->Value()) << i;
        EXPECT_EQ(bit(*panel, i)->fillColor(), Grey) << i;
    }

    rig.clearLines();
    PanelTestRig::click(button(*panel, "btnAllOn"));
    EXPECT_EQ(rig.lines(), (QStringList{"1MO\r", "3MO\r", "1MO?\r", "3MO?\r"}));
    EXPECT_TRUE(bit(*panel, 0)->Value());
    rig.clearLines();
    PanelTestRig::click(button(*panel, "btnAllOff"));
    EXPECT_EQ(rig.lines(), (QStringList{"1MF\r", "3MF\r", "1MO?\r", "3MO?\r"}));
    EXPECT_FALSE(bit(*panel, 2)->Value());
    EXPECT_EQ(bit(*panel, 2)->fillColor(), PaleYellow);

    // A click on a grey bit raises nothing.
    rig.clearLines();
    PanelTestRig::click(bit(*panel, 1));
    EXPECT_TRUE(rig.lines().isEmpty());
}

TEST(MotorPowerPanel, BitClickAsksTheControllerAndShowsItsAnswer)
{
    PanelTestRig rig(BUS_TYPE_USB, 2);
    KVLEnableDisable panel;
    panel.setCommControl(&rig.comm());
    rig.sim().receive("2MO\r", true);
    rig.clearLines();
    PanelTestRig::click(bit(panel, 1));
    EXPECT_EQ(rig.lines(), (QStringList{"2MO?\r", "2MF\r", "1MO?\r", "2MO?\r"}));
    EXPECT_FALSE(bit(panel, 1)->Value());

    rig.sim().setReply("1MO?", "5\r\n");
    rig.clearLines();
    PanelTestRig::click(bit(panel, 0));
    EXPECT_EQ(rig.lines(), (QStringList{"1MO?\r", "1MO?\r", "2MO?\r"})) << "an unknown state switches nothing";
    EXPECT_FALSE(bit(panel, 0)->Value()) << "the toggle goes back where the controller gives no state";

    // The refresh runs on every fifth tick.
    rig.clearLines();
    rig.tick(4);
    EXPECT_TRUE(rig.lines().isEmpty());
    rig.tick();
    EXPECT_EQ(rig.lines(), (QStringList{"1MO?\r", "2MO?\r"}));
    rig.clearLines();
    rig.tick(5);
    EXPECT_EQ(rig.lines().size(), 2);
}

TEST(MotorPowerPanel, ServesSixAxesAtMostAndNoneWithMaxAxesZero)
{
    PanelTestRig rig(BUS_TYPE_USB, 8);
    rig.sim().setAxisCount(8);
    KVLEnableDisable panel;
    panel.setCommControl(&rig.comm());
    EXPECT_EQ(rig.count(QStringLiteral("6QM?\r")), 1);
    EXPECT_EQ(rig.count(QStringLiteral("7QM?\r")), 0);
    EXPECT_EQ(rig.count(QStringLiteral("7MO?\r")), 0);
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(bit(panel, i)->Enabled());

    rig.gui().setMaxAxes(0);
    KVLEnableDisable none;
    none.setCommControl(&rig.comm());
    rig.clearLines();
    PanelTestRig::click(button(none, "btnAllOn"));
    rig.tick(5);
    EXPECT_TRUE(rig.lines().isEmpty()) << "with MaxAxes 0 no panel serves an axis";
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(bit(none, i)->fillColor(), Grey);
}

TEST(MotorPowerPanel, DemoModeAndFailures)
{
    PanelTestRig rig(BUS_TYPE_PCI, 2);
    rig.goDemo();
    KVLEnableDisable panel;
    panel.setCommControl(&rig.comm());
    PanelTestRig::click(button(panel, "btnAllOn"));
    rig.tick(5);
    EXPECT_TRUE(rig.lines().isEmpty());
    EXPECT_FALSE(bit(panel, 0)->Enabled());

    rig.comm().setBusType(BUS_TYPE_PCI);
    rig.comm().KVLInit();
    rig.comm().KVLOpen();
    panel.setCommControl(&rig.comm());
    rig.clearLines();
    rig.sim().failNext(-2);
    PanelTestRig::click(button(panel, "btnAllOff"));
    ASSERT_EQ(rig.boxes().count(), 1);
    EXPECT_TRUE(rig.boxes().last().prompt.startsWith(QStringLiteral("Error 1001 ")));
    EXPECT_EQ(rig.comm().BusType(), BUS_TYPE_NONE);

    // A closed link offers the reset from the buttons and the bits.
    rig.comm().setBusType(BUS_TYPE_PCI);
    rig.comm().KVLClose();
    rig.boxes().clear();
    rig.boxes().setAnswer(7);
    PanelTestRig::click(button(panel, "btnAllOn"));
    PanelTestRig::click(bit(panel, 0));
    ASSERT_EQ(rig.boxes().count(), 2);
    EXPECT_EQ(rig.boxes().last().prompt, QStringLiteral("Do you want to reset the system?"));
    EXPECT_EQ(panel.size(), panel.findChild<QWidget*>(QStringLiteral("frameMotorPower_0"))->size());
}

} // namespace

namespace {

TEST(MotorPowerPanel, AProbeNotAnsweredGreysNoLampAndLeavesNoAxisOut)
{
    PanelTestRig rig(BUS_TYPE_USB, 3);
    rig.sim().setReply("2QM?", "");
    rig.sim().setReply("3QM?", "0\r\n");
    rig.sim().receive("2MO\r", true);
    KVLEnableDisable panel;
    panel.setCommControl(&rig.comm());
    EXPECT_TRUE(bit(panel, 1)->Enabled());
    EXPECT_EQ(bit(panel, 1)->fillColor(), Green) << "its power is read like any other's";
    EXPECT_EQ(bit(panel, 2)->fillColor(), Grey);

    rig.clearLines();
    PanelTestRig::click(button(panel, "btnAllOff"));
    EXPECT_EQ(rig.lines(), (QStringList{"1MF\r", "2MF\r", "1MO?\r", "2MO?\r"}));
    EXPECT_EQ(bit(panel, 1)->fillColor(), PaleYellow);

    // A lost power read switches nothing and leaves the lamp as it was.
    rig.sim().setReply("2MO?", "");
    rig.clearLines();
    PanelTestRig::click(bit(panel, 1));
    EXPECT_EQ(rig.lines().filter(QStringLiteral("2M")), (QStringList{"2MO?\r", "2MO?\r"}));
    EXPECT_EQ(bit(panel, 1)->fillColor(), PaleYellow);
}

} // namespace

namespace {

TEST(MotorPowerPanel, AStateNotReadShowsNoLevelUntilOneIs)
{
    PanelTestRig rig(BUS_TYPE_USB, 3);
    rig.sim().setReply("2QM?", QByteArray()); // probe lost: may have a motor
    rig.sim().setReply("1MO?", QByteArray());
    rig.sim().receive("3MO\r", true);
    KVLEnableDisable panel;
    panel.setCommControl(&rig.comm());
    const QColor window = panel.findChild<QWidget*>(QStringLiteral("frameMotorPower_0"))->palette().color(QPalette::Window);
    const qint32 noLevel = window.red() | (window.green() << 8) | (window.blue() << 16);
    ASSERT_NE(noLevel, PaleYellow);
    ASSERT_NE(noLevel, Grey);
    EXPECT_TRUE(bit(panel, 0)->Enabled());
    EXPECT_FALSE(bit(panel, 0)->Value());
    EXPECT_EQ(bit(panel, 0)->fillColor(), noLevel);
    EXPECT_TRUE(bit(panel, 1)->Enabled());
    EXPECT_EQ(bit(panel, 1)->fillColor(), PaleYellow) << "read off";
    EXPECT_EQ(bit(panel, 2)->fillColor(), Green);

    // Events run between ticks, as in a program: a query held back after a lost answer goes out.
    const auto letEventsRun = [] {
        QTimer::singleShot(0, [] {});
        QCoreApplication::processEvents();
    };
    // A click on a lamp whose state is still lost switches nothing and shows no level again.
    letEventsRun();
    rig.clearLines();
    PanelTestRig::click(bit(panel, 0));
    EXPECT_TRUE(rig.lines().filter(QRegularExpression("^1M[OF]\r$")).isEmpty());
    EXPECT_EQ(bit(panel, 0)->fillColor(), noLevel);

    // Once read, off is off; a later lost answer keeps what was read.
    rig.sim().clearReplies();
    letEventsRun();
    rig.tick(5);
    EXPECT_EQ(bit(panel, 0)->fillColor(), PaleYellow);
    rig.sim().receive("1MO\r", true);
    letEventsRun();
    rig.tick(5);
    EXPECT_EQ(bit(panel, 0)->fillColor(), Green);
    rig.sim().setReply("1MO?", QByteArray());
    rig.clearLines();
    letEventsRun();
    rig.tick(5);
    EXPECT_EQ(rig.count("1MO?\r"), 1);
    EXPECT_EQ(bit(panel, 0)->fillColor(), Green);
    EXPECT_TRUE(rig.comm().IsOpen());
}

} // namespace
