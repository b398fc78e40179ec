#include "library/panels/KVLCycle.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "library/link/NumberText.h"
#include "platform/com/ClassRegistry.h"
#include "platform/kernel/Clock.h"
#include "sim/SimController.h"
#include "tests/support/PanelTestRig.h"
#include "tests/support/TestHelpers.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>
#include <memory>

namespace {

using Lock = QPair<short, short>;
const QList<Lock> kTaken{{4, 0}, {2, 0}};
const QList<Lock> kReleased{{4, 1}, {2, 1}};

// A cycle panel bound to the simulated controller, with its CyclingEvent arguments recorded.
struct CycleRig {
    explicit CycleRig(BUS_TYPE bus = BUS_TYPE_USB, int maxAxes = 6, bool bind = true)
        : rig(bus, maxAxes)
    {
        KVLCycle::gSavedTarg1.fill(QString());
        KVLCycle::gSavedTarg2.fill(QString());
        cycle = std::make_unique<KVLCycle>();
        QObject::connect(cycle.get(), &KVLCycle::CyclingEvent, [this](bool& moving) {
            events.append(moving);
            boxesAtEvent.append(rig.boxes().count());
        });
        if (bind)
            cycle->setCommControl(&rig.comm());
        rig.clearLines();
    }

    QCheckBox* axis(int k) { return cycle->findChild<QCheckBox*>(QStringLiteral("chkAxis_%1").arg(k)); }
    QLineEdit* target(int which, int k)
    {
        return cycle->findChild<QLineEdit*>(QStringLiteral("txtTarg%1_%2").arg(which).arg(k));
    }
    QLineEdit* dwell() { return cycle->findChild<QLineEdit*>(QStringLiteral("txtDwell")); }
    QPushButton* go() { return cycle->findChild<QPushButton*>(QStringLiteral("btnGo")); }
    QString count() { return cycle->findChild<QLabel*>(QStringLiteral("lblCount"))->text(); }

    void prepare(int k, const QString& first, const QString& second)
    {
        axis(k)->setChecked(true);
        target(1, k)->setText(first);
        target(2, k)->setText(second);
    }
    // Two ticks: the engine acts on every second one.
    QStringList act()
    {
        rig.clearLines();
        rig.tick(2);
        return rig.lines();
    }
    void reopen()
    {
        rig.comm().setBusType(BUS_TYPE_USB);
        rig.comm().KVLInit();
        rig.comm().KVLOpen();
    }

    PanelTestRig rig;
    std::unique_ptr<KVLCycle> cycle;
    QList<bool> events;
    QList<int> boxesAtEvent;
};

TEST(CyclePanel, MovesBackAndForthWithADwellOnTheMonotonicClock)
{
    CycleRig c;
    c.rig.sim().setMoveSteps(2);
    c.rig.sim().setPosition(1, 5);
    c.rig.sim().setPosition(3, 5);
    c.prepare(0, QStringLiteral("0"), QStringLiteral("10"));
    c.prepare(2, QStringLiteral("0"), QStringLiteral("10"));
    c.dwell()->setText(QStringLiteral("2"));

    PanelTestRig::click(c.go());
    EXPECT_TRUE(c.rig.lines().isEmpty()) << "the engine begins at its next acting tick";
    EXPECT_EQ(c.rig.formEvents, kTaken);
    EXPECT_EQ(c.events, QList<bool>{true});
    EXPECT_EQ(c.go()->accessibleName(), QStringLiteral("Stop"));

    c.rig.tick();
    EXPECT_TRUE(c.rig.lines().isEmpty()) << "odd ticks do not act";
    c.rig.tick();
    EXPECT_EQ(c.rig.lines(), (QStringList{"1MO\r", "3MO\r"}));
    EXPECT_EQ(c.act(), (QStringList{"1PA 0\r", "3PA 0\r"}));
    EXPECT_EQ(c.count(), QStringLiteral("1"));
    EXPECT_EQ(c.act(), QStringList{" 1MD?\r"}) << "axis 1 still moves: polled again next time";
    c.rig.sim().step(2);
    EXPECT_EQ(c.act(), (QStringList{" 1MD?\r", " 3MD?\r"}));

    EXPECT_TRUE(c.act().isEmpty());
    platform::Clock::advance(2000);
    EXPECT_TRUE(c.act().isEmpty()) << "the dwell lasts more than 2 seconds";
    platform::Clock::advance(1);
    EXPECT_TRUE(c.act().isEmpty());
    EXPECT_EQ(c.act(), (QStringList{"1PA 10\r", "3PA 10\r"}));
    EXPECT_EQ(c.count(), QStringLiteral("2"));
    c.rig.sim().step(2);
    EXPECT_EQ(c.act(), (QStringList{" 1MD?\r", " 3MD?\r"}));
    platform::Clock::advance(2001);
    EXPECT_TRUE(c.act().isEmpty());
    EXPECT_EQ(c.act(), (QStringList{"1PA 0\r", "3PA 0\r"})) << "motors are switched on once per cycle";
    EXPECT_EQ(c.count(), QStringLiteral("3"));

    // Reset at any time; the next move counts from 1.
    PanelTestRig::click(c.cycle->findChild<QPushButton*>(QStringLiteral("cmdReset")));
    EXPECT_EQ(c.count(), QStringLiteral("0"));

    c.rig.clearLines();
    PanelTestRig::click(c.go());
    EXPECT_EQ(c.rig.lines(), (QStringList{"1ST\r", "3ST\r"}));
    EXPECT_EQ(c.rig.formEvents, kTaken + kReleased);
    EXPECT_EQ(c.events, (QList<bool>{true, false}));
    EXPECT_EQ(c.go()->accessibleName(), QStringLiteral("Start"));
    EXPECT_TRUE(c.act().isEmpty());
}

TEST(CyclePanel, RefusesEqualTargetsAndAnEmptySelectionAfterReleasingTheLock)
{
    CycleRig c;
    c.prepare(0, QStringLiteral("3"), QStringLiteral("4"));
    c.prepare(1, QStringLiteral("1.0000"), QStringLiteral("1"));
    c.prepare(2, QStringLiteral("7"), QStringLiteral("7"));
    PanelTestRig::click(c.go());
    EXPECT_EQ(c.rig.formEvents, kTaken + kReleased);
    EXPECT_EQ(c.events, QList<bool>{false});
    EXPECT_EQ(c.boxesAtEvent, QList<int>{0}) << "the event comes before the message";
    ASSERT_EQ(c.rig.boxes().count(), 1);
    EXPECT_EQ(c.rig.boxes().last().prompt,
              QStringLiteral("Positions 1 and 2 have the same value on Axis 2.\r\n\r\nPlease change the values and try again."));
    EXPECT_EQ(c.rig.boxes().last().style, 65584);
    EXPECT_EQ(c.rig.boxes().last().title, QStringLiteral("Moxtrel"));

    for (int k = 0; k < 6; ++k)
        c.axis(k)->setChecked(false);
    PanelTestRig::click(c.go());
    EXPECT_EQ(c.rig.boxes().last().prompt, QStringLiteral("You must select at least one Axis to Cycle."));
    EXPECT_EQ(c.rig.boxes().last().style, 16);
    EXPECT_EQ(c.rig.boxes().last().title, QStringLiteral("Cycle Error"));

    // Equal targets on an unticked axis do not matter; a negative target follows PA directly.
    c.prepare(1, QStringLiteral("-5"), QStringLiteral("5"));
    c.events.clear();
    PanelTestRig::click(c.go());
    EXPECT_EQ(c.events, QList<bool>{true});
    c.act();
    EXPECT_EQ(c.act(), QStringList{"2PA-5\r"});
    EXPECT_EQ(c.rig.sim().position(2), -5.0);
}

TEST(CyclePanel, StopCycleAlwaysStopsTheTickedAxesButReleasesOnlyItsOwnLock)
{
    CycleRig c;
    c.prepare(0, QStringLiteral("1"), QStringLiteral("2"));
    c.axis(2)->setChecked(true);
    // Idle, while another panel holds the lock: the ticked axes are stopped and the host told,
    // but the other panel's lock stays.
    c.rig.gui().DisableForms(2);
    c.rig.formEvents.clear();
    platform::invoke(c.cycle.get(), 0x6003000F, platform::MemberKind::Method);
    EXPECT_EQ(c.rig.lines(), (QStringList{"1ST\r", "3ST\r"}));
    EXPECT_TRUE(c.rig.formEvents.isEmpty());
    EXPECT_EQ(c.events, QList<bool>{false});
    EXPECT_EQ(c.rig.gui().FormState(2), 2);

    // While cycling it stops the ticked axes, frees the panels and tells the host.
    c.rig.gui().EnableForms(2);
    c.axis(2)->setChecked(false);
    c.events.clear();
    PanelTestRig::click(c.go());
    c.rig.clearLines();
    c.rig.formEvents.clear();
    platform::invoke(c.cycle.get(), 0x6003000F, platform::MemberKind::Method);
    EXPECT_EQ(c.rig.lines(), QStringList{"1ST\r"});
    EXPECT_EQ(c.rig.formEvents, kReleased);
    EXPECT_EQ(c.events, (QList<bool>{true, false}));

    // A closed link is not tested: nothing reaches the controller, the host is still told.
    c.rig.comm().KVLClose();
    c.rig.clearLines();
    c.events.clear();
    c.cycle->StopCycle();
    EXPECT_TRUE(c.rig.lines().isEmpty());
    EXPECT_EQ(c.events, QList<bool>{false});

    // With no bus chosen an idle panel does nothing at all.
    c.rig.goDemo();
    c.events.clear();
    c.cycle->StopCycle();
    EXPECT_TRUE(c.events.isEmpty());
}

TEST(CyclePanel, ALinkFailureEndsTheCycleForGood)
{
    CycleRig c(BUS_TYPE_PCI);
    c.prepare(0, QStringLiteral("1"), QStringLiteral("2"));
    PanelTestRig::click(c.go());
    c.rig.sim().failNext(-2);
    c.act();
    ASSERT_EQ(c.rig.boxes().count(), 1);
    EXPECT_TRUE(c.rig.boxes().last().prompt.startsWith(QStringLiteral("Error 1001 ")));
    EXPECT_EQ(c.events, (QList<bool>{true, false}));
    EXPECT_EQ(c.rig.formEvents, kTaken + kReleased);
    EXPECT_EQ(c.go()->accessibleName(), QStringLiteral("Start"));

    c.rig.comm().setBusType(BUS_TYPE_PCI);
    c.rig.comm().KVLInit();
    c.rig.comm().KVLOpen();
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(c.act().isEmpty());
}

TEST(CyclePanel, ALinkFoundGoneMidCycleEndsIt)
{
    CycleRig c;
    c.prepare(0, QStringLiteral("1"), QStringLiteral("2"));
    PanelTestRig::click(c.go());
    c.act();
    c.rig.goDemo();
    c.rig.tick();
    EXPECT_EQ(c.events, (QList<bool>{true, false}));
    EXPECT_EQ(c.rig.formEvents, kTaken + kReleased);
    c.reopen();
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(c.act().isEmpty());

    // A press on the button while the link is gone still stops a cycle.
    PanelTestRig::click(c.go());
    c.rig.comm().KVLClose();
    c.rig.clearLines();
    PanelTestRig::click(c.go());
    EXPECT_EQ(c.events, (QList<bool>{true, false, true, false}));
    EXPECT_EQ(c.rig.gui().FormState(2 | 4), 0);
}

TEST(CyclePanel, AStopAskedWhileEventsRunIsNotFollowedByAMove)
{
    CycleRig c;
    c.prepare(0, QStringLiteral("1"), QStringLiteral("2"));
    c.prepare(2, QStringLiteral("1"), QStringLiteral("2"));
    PanelTestRig::click(c.go());
    c.act();
    QObject::connect(&c.rig.sim(), &SimController::lineReceived, c.cycle.get(), [&c](const QByteArray& line) {
        if (line == "1PA 1")
            QMetaObject::invokeMethod(c.cycle.get(), [&c] { c.cycle->StopCycle(); }, Qt::QueuedConnection);
    });
    EXPECT_EQ(c.act(), (QStringList{"1PA 1\r", "1ST\r", "3ST\r"}));
    EXPECT_EQ(c.events, (QList<bool>{true, false}));
    EXPECT_TRUE(c.act().isEmpty());
}

TEST(CyclePanel, MovesToTheLastCleanedTargetsNotToTextBeingTyped)
{
    CycleRig c;
    c.prepare(0, QStringLiteral("5"), QStringLiteral("6"));
    c.dwell()->setText(QStringLiteral("0"));
    PanelTestRig::click(c.go());
    c.act();                       // motors on
    c.target(1, 0)->setText(QStringLiteral("9"));
    EXPECT_EQ(c.act(), QStringList{"1PA 5\r"});
    c.target(2, 0)->setText(QStringLiteral("7,5x"));
    PanelTestRig::pressEnter(c.target(2, 0));
    EXPECT_EQ(c.target(2, 0)->text(), QStringLiteral("75.0000"));
    c.act();                       // done
    c.act();                       // dwell of 0 is over
    EXPECT_EQ(c.act(), QStringList{"1PA 75\r"});
    c.act();
    c.act();
    EXPECT_EQ(c.act(), QStringList{"1PA 5\r"}) << "the typed 9 was never confirmed";
    PanelTestRig::leave(c.target(1, 0));
    c.act();
    c.act();
    c.act();
    c.act();
    c.act();
    EXPECT_EQ(c.act(), QStringList{"1PA 9\r"});
}

TEST(CyclePanel, DwellBoxTakesWholeSecondsAndRefusesZeroWhenLeft)
{
    CycleRig c;
    c.dwell()->setText(QStringLiteral("2.5s"));
    PanelTestRig::pressEnter(c.dwell());
    const QString whole = c.dwell()->text();
    EXPECT_TRUE(whole == QStringLiteral("2") || whole == QStringLiteral("3")) << whole.toStdString();
    EXPECT_EQ(c.rig.boxes().count(), 0);
    c.dwell()->setText(QStringLiteral("0"));
    PanelTestRig::pressEnter(c.dwell());
    EXPECT_EQ(c.rig.boxes().count(), 0) << "only leaving the box tests the dwell";
    PanelTestRig::leave(c.dwell());
    ASSERT_EQ(c.rig.boxes().count(), 1);
    EXPECT_EQ(c.rig.boxes().last().prompt,
              QStringLiteral("You must enter a dwell value greater than zero.\rPlease change the value and try again."));
    EXPECT_EQ(c.rig.boxes().last().style, 65584);
    EXPECT_EQ(c.rig.boxes().last().title, QStringLiteral("KVL7100"));
    EXPECT_EQ(c.dwell()->text(), QStringLiteral("0"));
}

TEST(CyclePanel, SetUpShowsMotorsAndUnitsAndDisablesTheRest)
{
    CycleRig c(BUS_TYPE_USB, 4, false);
    c.rig.sim().setAxisCount(4);
    c.rig.sim().setValue(1, "SN", "3");
    c.rig.sim().setValue(2, "SN", "12");
    c.rig.sim().setReply("4QM?", "0\r\n");
    c.cycle->setCommControl(&c.rig.comm());
    EXPECT_EQ(c.rig.lines(), (QStringList{"1QM?\r", "1SN?\r", "2QM?\r", "2SN?\r", "3QM?\r", "3SN?\r", "4QM?\r"}));
    auto units = [&c](int i) { return c.cycle->findChild<QLabel*>(QStringLiteral("lblUnits_%1").arg(i)); };
    EXPECT_EQ(units(0)->text(), QStringLiteral("um"));
    EXPECT_EQ(units(6)->text(), QStringLiteral("um"));
    EXPECT_EQ(units(1)->text(), QStringLiteral("counts"));
    for (int k = 0; k < 6; ++k) {
        const bool present = k < 3;
        EXPECT_EQ(c.axis(k)->isEnabled(), present) << k;
        EXPECT_EQ(c.target(1, k)->isEnabled(), present) << k;
        EXPECT_EQ(c.target(2, k)->isEnabled(), present) << k;
        EXPECT_EQ(units(k)->isVisibleTo(c.cycle.get()), present) << k;
        EXPECT_EQ(units(k + 6)->isVisibleTo(c.cycle.get()), present) << k;
    }
    EXPECT_EQ(c.cycle->size(), c.cycle->findChild<QGroupBox*>(QStringLiteral("frameCycle"))->size());
}

TEST(CyclePanel, InDemoModeEveryRowIsOffAndTheButtonDoesNothing)
{
    CycleRig c(BUS_TYPE_USB, 6, false);
    c.rig.goDemo();
    c.cycle->setCommControl(&c.rig.comm());
    for (int k = 0; k < 6; ++k)
        EXPECT_FALSE(c.axis(k)->isEnabled());
    c.axis(0)->setChecked(true);
    PanelTestRig::click(c.go());
    c.rig.tick(4);
    EXPECT_TRUE(c.events.isEmpty());
    EXPECT_TRUE(c.rig.formEvents.isEmpty());
    EXPECT_EQ(c.rig.boxes().count(), 0);
}

TEST(CyclePanel, TypedTargetsComeBackInTheNextPanel)
{
    KVLCycle::gSavedTarg1.fill(QString());
    KVLCycle::gSavedTarg2.fill(QString());
    {
        KVLCycle first;
        first.findChild<QLineEdit*>(QStringLiteral("txtTarg1_0"))->setText(QStringLiteral("1.5000"));
        first.findChild<QLineEdit*>(QStringLiteral("txtTarg2_0"))->setText(QStringLiteral("2.5000"));
        first.findChild<QLineEdit*>(QStringLiteral("txtTarg2_1"))->setText(QStringLiteral("8"));
    }
    KVLCycle second;
    EXPECT_EQ(second.findChild<QLineEdit*>(QStringLiteral("txtTarg1_0"))->text(), QStringLiteral("1.5000"));
    EXPECT_EQ(second.findChild<QLineEdit*>(QStringLiteral("txtTarg2_0"))->text(), QStringLiteral("2.5000"));
    EXPECT_EQ(second.findChild<QLineEdit*>(QStringLiteral("txtTarg2_1"))->text(), QString())
        << "an empty position 1 leaves both boxes as designed";
    EXPECT_EQ(second.eventTable(), (QVector<QPair<int, QString>>{{1, QStringLiteral("CyclingEvent")}}));
    EXPECT_FALSE(platform::invoke(&second, 0x68030000, platform::MemberKind::PropertyGet).isNull());
}

} // namespace

TEST(CyclePanel, ANegativeTargetKeepsItsSignInEveryLocale)
{
    // Right-to-left locales show a direction mark before the minus; a visit of the box once
    // dropped the sign with it, and the cycle went to +2.5.
    for (const char* name : {"de_DE", "he_IL", "ar_EG"}) {
        CycleRig c; // sets a locale of its own
        LocaleScope scope{QLocale(QString::fromLatin1(name))};
        const QString typed = QStringLiteral("-2") + QLocale().decimalPoint() + QStringLiteral("5");
        c.prepare(0, typed, QStringLiteral("3"));
        c.dwell()->setText(QStringLiteral("0"));
        PanelTestRig::leave(c.target(1, 0));
        const QString shown = c.target(1, 0)->text();
        EXPECT_EQ(shown, NumberText::displayText(-2.5, 4)) << name;
        PanelTestRig::leave(c.target(1, 0));
        EXPECT_EQ(c.target(1, 0)->text(), shown) << name << ": a second visit changes nothing";
        PanelTestRig::click(c.go());
        c.act(); // motors on
        EXPECT_EQ(c.act(), QStringList{"1PA-2.5\r"}) << name;
    }
}

namespace {

// A lost probe or unit read leaves each row as the last answers left it.
TEST(CyclePanel, ARowKeepsWhatItShowedWhenItsReadsAreLost)
{
    CycleRig c(BUS_TYPE_USB, 3, false);
    c.rig.sim().setAxisCount(3);
    c.rig.sim().setValue(1, "SN", "3");
    c.rig.sim().setValue(3, "SN", "2");
    c.rig.sim().setReply("2QM?", "0\r\n");
    c.cycle->setCommControl(&c.rig.comm());
    auto units = [&c](int i) { return c.cycle->findChild<QLabel*>(QStringLiteral("lblUnits_%1").arg(i))->text(); };
    EXPECT_FALSE(c.axis(1)->isEnabled());
    EXPECT_EQ(units(2), QStringLiteral("mm"));

    c.rig.sim().setReply("1QM?", "");
    c.rig.sim().setReply("2QM?", "");
    c.rig.sim().setReply("3SN?", "");
    c.rig.sim().setValue(1, "SN", "2");
    c.rig.clearLines();
    c.cycle->setCommControl(&c.rig.comm());
    EXPECT_EQ(c.rig.lines().filter(QStringLiteral("SN")), (QStringList{"1SN?\r", "2SN?\r", "3SN?\r"}));
    EXPECT_TRUE(c.axis(0)->isEnabled());
    EXPECT_EQ(units(0), QStringLiteral("mm")) << "axis 1's own unit";
    EXPECT_FALSE(c.axis(1)->isEnabled());
    EXPECT_TRUE(c.axis(2)->isEnabled());
    EXPECT_EQ(units(2), QStringLiteral("mm"));
}

} // namespace
