#include "library/panels/KVLJog.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "library/panels/JogButton.h"
#include "platform/RuntimeError.h"
#include "platform/kernel/Clock.h"
#include "sim/SimController.h"
#include "tests/support/PanelTestRig.h"

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace {

const QStringList kNoLines;

class JogPanel : public ::testing::Test {
protected:
    // A panel bound to a rig whose axes carry motors as given ("1" present, "0" none).
    void bind(int maxAxes = 6, const QList<int>& withoutMotor = {})
    {
        rig = std::make_unique<PanelTestRig>(BUS_TYPE_USB, maxAxes);
        for (int axis : withoutMotor)
            rig->sim().setValue(axis, "QM", "0");
        jog = std::make_unique<KVLJog>();
        jog->show();
        jog->setCommControl(&rig->comm());
        rig->clearLines();
        rig->formEvents.clear();
    }

    template <class T>
    T* child(const QString& name) const
    {
        T* w = jog->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QWidget* button(int k) const { return child<QWidget>(QStringLiteral("btnJog_%1").arg(k)); }
    QRadioButton* optionX(int i) const { return child<QRadioButton>(QStringLiteral("optJogAxisX_%1").arg(i)); }
    QRadioButton* optionY(int i) const { return child<QRadioButton>(QStringLiteral("optJogAxisY_%1").arg(i)); }
    QLineEdit* box(const char* name, int i) const { return child<QLineEdit>(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(i)); }
    QString units(int i) const { return child<QLabel>(QStringLiteral("lblUnits_%1").arg(i))->text(); }
    void indexedMode() { PanelTestRig::click(child<QWidget>(QStringLiteral("optMode_0"))); }

    // Lines that carry an axis of their own (not the whole controller's).
    int linesFor(const QString& prefix) const
    {
        int n = 0;
        for (const QString& line : rig->lines())
            n += line.startsWith(prefix) ? 1 : 0;
        return n;
    }

    std::unique_ptr<PanelTestRig> rig;
    std::unique_ptr<KVLJog> jog;
};

const QList<QPair<short, short>> kClickLock{{1, 0}, {2, 0}, {1, 1}, {2, 1}};

TEST_F(JogPanel, BindingProbesAxesAndShowsUnitAndSpeed)
{
    rig = std::make_unique<PanelTestRig>(BUS_TYPE_USB, 6);
    rig->sim().setAxisCount(6);
    for (int axis : {1, 3, 4, 6})
        rig->sim().setValue(axis, "QM", "0");
    rig->sim().setValue(2, "SN", "2");
    rig->sim().setValue(2, "VA", "12.5");
    rig->sim().setValue(5, "SN", "7");
    jog = std::make_unique<KVLJog>();
    box("txtDistance", 0)->setText(QStringLiteral("3"));
    jog->setCommControl(&rig->comm());

    EXPECT_EQ(rig->lines(), (QStringList{"1QM?\r", "2QM?\r", "3QM?\r", "4QM?\r", "5QM?\r", "6QM?\r", " 2SN?\r",
                                         " 2VA?\r", " 5SN?\r", " 5VA?\r"}));
    EXPECT_TRUE(optionX(1)->isChecked());
    EXPECT_TRUE(optionY(4)->isChecked());
    EXPECT_FALSE(optionX(0)->isEnabled());
    EXPECT_TRUE(optionX(4)->isEnabled());
    EXPECT_EQ(units(0), QStringLiteral("mm"));
    EXPECT_EQ(units(2), QStringLiteral("mm/sec"));
    EXPECT_EQ(units(1), QStringLiteral("deg"));
    EXPECT_EQ(units(3), QStringLiteral("deg/sec"));
    EXPECT_EQ(box("txtSpeed", 0)->text(), QStringLiteral("12.5000"));
    EXPECT_EQ(box("txtDistance", 0)->text(), QStringLiteral("3.0000"));
    EXPECT_EQ(box("txtDistance", 1)->text(), QStringLiteral("0.0000"));
}

TEST_F(JogPanel, OneMotorServesBothRowsAndAxesAboveMaxAxesAreDisabled)
{
    bind(4, {1, 2, 4});
    EXPECT_TRUE(optionX(2)->isChecked());
    EXPECT_TRUE(optionY(2)->isChecked());
    for (int i : {4, 5}) {
        EXPECT_FALSE(optionX(i)->isEnabled());
        EXPECT_FALSE(optionY(i)->isEnabled());
    }
}

TEST_F(JogPanel, MoreAxesThanThePanelServesAndOutOfRangeRepliesDoNotCrash)
{
    rig = std::make_unique<PanelTestRig>(BUS_TYPE_USB, 9);
    rig->sim().setAxisCount(9);
    rig->sim().setValue(1, "SN", "40000");
    rig->sim().setValue(2, "SN", "13");
    jog = std::make_unique<KVLJog>();
    jog->setCommControl(&rig->comm());
    EXPECT_EQ(linesFor(QStringLiteral("7QM")) + linesFor(QStringLiteral("8QM")) + linesFor(QStringLiteral("9QM")), 0);
    EXPECT_EQ(rig->count(QStringLiteral("6QM?\r")), 1);
    // Unknown unit codes show no unit at all.
    EXPECT_EQ(units(0), QString());
    EXPECT_EQ(units(2), QString());
    EXPECT_EQ(units(1), QString());
    EXPECT_EQ(units(3), QString());
}

TEST_F(JogPanel, DemoModeSelectsAxisOneAndSendsNothing)
{
    rig = std::make_unique<PanelTestRig>(BUS_TYPE_USB, 4);
    rig->goDemo();
    rig->clearLines();
    jog = std::make_unique<KVLJog>();
    jog->setCommControl(&rig->comm());
    EXPECT_TRUE(optionX(0)->isChecked());
    EXPECT_TRUE(optionY(0)->isChecked());
    EXPECT_TRUE(optionX(5)->isEnabled());
    EXPECT_EQ(units(0), QStringLiteral("counts"));
    EXPECT_EQ(units(2), QStringLiteral("counts/sec"));
    EXPECT_EQ(box("txtSpeed", 0)->text(), QStringLiteral("0.0000"));
    EXPECT_EQ(box("txtDistance", 1)->text(), QStringLiteral("0.0000"));

    rig->formEvents.clear();
    PanelTestRig::click(button(1));
    indexedMode();
    PanelTestRig::click(button(1));
    EXPECT_EQ(rig->lines(), kNoLines);
    EXPECT_TRUE(rig->formEvents.isEmpty());
    // A host calling the members directly in demo mode is not kept waiting.
    EXPECT_EQ(jog->MoveInfinite(1, 1, 1.0), -1);
}

TEST_F(JogPanel, IndexedMoveIgnoresTypedSignAndLocksTheOtherPanels)
{
    bind();
    indexedMode();
    box("txtDistance", 0)->setText(QStringLiteral("-2.5"));
    PanelTestRig::click(button(1));
    EXPECT_EQ(rig->lines(), (QStringList{"1MO\r", "1PR 2.5\r"}));
    EXPECT_EQ(rig->formEvents, kClickLock);
    EXPECT_EQ(rig->gui().FormState(7), 0);

    rig->clearLines();
    PanelTestRig::click(button(0));
    EXPECT_EQ(rig->lines(), (QStringList{"1MO\r", "1PR-2.5\r"}));

    // Y buttons move the Y axis: +Y is button 2.
    rig->clearLines();
    box("txtDistance", 1)->setText(QStringLiteral(".5"));
    PanelTestRig::click(button(2));
    EXPECT_EQ(rig->lines(), (QStringList{"2MO\r", "2PR .5\r"}));
}

TEST_F(JogPanel, BoxWithoutANumberIsRewrittenAndSendsNothing)
{
    bind();
    indexedMode();
    box("txtDistance", 0)->setText(QStringLiteral("-"));
    PanelTestRig::click(button(1));
    EXPECT_EQ(box("txtDistance", 0)->text(), QStringLiteral("0.0000"));
    EXPECT_EQ(rig->lines(), kNoLines);
    EXPECT_EQ(rig->formEvents, kClickLock);

    // Free run with a speed box holding only a separator.
    PanelTestRig::click(child<QWidget>(QStringLiteral("optMode_1")));
    box("txtSpeed", 0)->setText(QStringLiteral("."));
    PanelTestRig::press(button(1));
    EXPECT_EQ(box("txtSpeed", 0)->text(), QStringLiteral("0.0000"));
    EXPECT_EQ(linesFor(QStringLiteral("1MV")) + linesFor(QStringLiteral("1VA")), 0);
    PanelTestRig::release(button(1));
}

TEST_F(JogPanel, NumberBoxesAreCleanedOnEnterAndOnLeaving)
{
    bind();
    QLineEdit* distance = box("txtDistance", 0);
    distance->setText(QStringLiteral("12a.3.4"));
    PanelTestRig::pressEnter(distance);
    EXPECT_EQ(distance->text(), QStringLiteral("12.3400"));
    QLineEdit* speed = box("txtSpeed", 1);
    speed->setText(QStringLiteral("5-3"));
    PanelTestRig::leave(speed);
    EXPECT_EQ(speed->text(), QStringLiteral("53.0000"));
    EXPECT_EQ(rig->lines(), kNoLines);
}

TEST_F(JogPanel, NoAxisSelectedSendsNothingAndLeavesNoLock)
{
    bind(6, {1, 2, 3, 4, 5, 6});
    EXPECT_FALSE(optionX(0)->isChecked());
    PanelTestRig::press(button(0));
    PanelTestRig::release(button(0));
    EXPECT_EQ(rig->lines(), kNoLines) << "above all no 0ST";
    EXPECT_EQ(rig->formEvents, kClickLock);
    indexedMode();
    PanelTestRig::click(button(3));
    EXPECT_EQ(rig->lines(), kNoLines);
    EXPECT_EQ(rig->gui().FormState(7), 0);
    EXPECT_EQ(jog->StopJog(0), -1);
    EXPECT_EQ(jog->MoveInfinite(0, 1, 1.0), -1);
    EXPECT_EQ(rig->lines(), kNoLines);
}

TEST_F(JogPanel, FreeRunRunsWhileHeldAndStopsOnRelease)
{
    bind();
    box("txtSpeed", 0)->setText(QStringLiteral("-2"));
    PanelTestRig::press(button(1));
    EXPECT_EQ(rig->lines(), (QStringList{"1MD?\r", "1VA-2\r", "1MO\r", "1MV+\r"}));
    EXPECT_TRUE(rig->sim().isMoving(1));
    EXPECT_TRUE(rig->formEvents.isEmpty()) << "no lock while running free";

    rig->clearLines();
    PanelTestRig::release(button(1));
    EXPECT_EQ(rig->lines(), (QStringList{"1ST\r", "1MD?\r"}));
    EXPECT_FALSE(rig->sim().isMoving(1));
    EXPECT_EQ(rig->formEvents, kClickLock) << "the click after the stop";
    EXPECT_TRUE(child<QWidget>(QStringLiteral("frameJogArrow"))->isEnabled());

    // Any mouse button holds; -Y runs the Y axis backwards.
    rig->clearLines();
    box("txtSpeed", 1)->setText(QStringLiteral("3"));
    PanelTestRig::press(button(3), 2);
    EXPECT_EQ(rig->lines().last(), QStringLiteral("2MV-\r"));
    PanelTestRig::release(button(3), 2);
    EXPECT_EQ(rig->count(QStringLiteral("2ST\r")), 1);
}

TEST_F(JogPanel, StopIsRepeatedAfterTheFifthPoll)
{
    bind();
    for (int doneAt : {3, 5, 7}) {
        SCOPED_TRACE(doneAt);
        PanelTestRig::press(button(1));
        // The axis reports done at poll doneAt after the stop.
        int polls = 0;
        QObject::connect(&rig->sim(), &SimController::lineReceived, &rig->sim(), [&](const QByteArray& line) {
            if (line == "1MD?")
                rig->sim().setReply("1MD?", ++polls < doneAt ? "0\r\n" : "1\r\n");
        });
        rig->clearLines();
        PanelTestRig::release(button(1));
        EXPECT_EQ(rig->count(QStringLiteral("1MD?\r")), doneAt);
        EXPECT_EQ(rig->count(QStringLiteral("1ST\r")), doneAt >= 5 ? 2 : 1);
        if (doneAt >= 5) {
            EXPECT_EQ(rig->lines().at(6), QStringLiteral("1ST\r")) << "right after the fifth poll";
        }
        QObject::disconnect(&rig->sim(), &SimController::lineReceived, nullptr, nullptr);
        rig->sim().clearReplies();
    }
}

TEST_F(JogPanel, APressWhileTheLinkIsClosedNeverBlocksLaterPresses)
{
    bind();
    box("txtSpeed", 0)->setText(QStringLiteral("1"));
    const QStringList run{"1MD?\r", "1VA 1\r", "1MO\r", "1MV+\r"};
    // Pressed and released while the link is closed (as during the reset wait).
    rig->comm().KVLClose();
    PanelTestRig::press(button(1));
    PanelTestRig::release(button(1));
    EXPECT_EQ(rig->lines(), kNoLines);
    // An opening proves nothing about the line: its first query asks for the identification first.
    rig->comm().KVLOpen();
    PanelTestRig::press(button(1));
    EXPECT_EQ(rig->lines(), QStringList{"VE?\r\n"} + run);
    PanelTestRig::release(button(1));
    EXPECT_FALSE(rig->sim().isMoving(1));

    // Pressed while closed, released once the link is back: the release stops the axis, and the
    // next press runs.
    rig->comm().KVLClose();
    PanelTestRig::press(button(1));
    rig->comm().KVLOpen();
    rig->clearLines();
    PanelTestRig::release(button(1));
    EXPECT_EQ(rig->lines(), (QStringList{"1ST\r", "VE?\r\n", "1MD?\r"}));
    rig->clearLines();
    PanelTestRig::press(button(1));
    EXPECT_EQ(rig->lines(), run);
    PanelTestRig::release(button(1));
}

// A release finds no link to send its stop on. A link that breaks under a held jog stops the axis
// itself while its port is still open; the release then sends nothing and blocks nothing.
TEST_F(JogPanel, AHeldJogIsStoppedByTheBreakingLinkAndItsReleaseSendsNothing)
{
    bind();
    box("txtSpeed", 0)->setText(QStringLiteral("1"));
    PanelTestRig::press(button(1));
    ASSERT_TRUE(rig->sim().isMoving(1));
    rig->clearLines();
    // As a poller that finds the link dead reports it.
    platform::RuntimeError broken = platform::RuntimeError::standard(platform::RuntimeError::BreakInCommunications);
    rig->comm().HandleError(broken);
    EXPECT_FALSE(rig->comm().IsOpen());
    EXPECT_EQ(rig->lines(), (QStringList{"1ST\r"}));
    EXPECT_FALSE(rig->sim().isMoving(1));
    PanelTestRig::release(button(1));
    EXPECT_EQ(rig->lines(), (QStringList{"1ST\r"}));

    // Back on the link, the next press starts in full and its release stops the axis.
    rig->comm().setBusType(BUS_TYPE_USB);
    ASSERT_EQ(rig->comm().KVLOpen(), 0);
    rig->clearLines();
    PanelTestRig::press(button(1));
    EXPECT_EQ(rig->lines(), (QStringList{"VE?\r\n", "1MD?\r", "1VA 1\r", "1MO\r", "1MV+\r"}));
    rig->clearLines();
    PanelTestRig::release(button(1));
    EXPECT_EQ(rig->lines().value(0), QStringLiteral("1ST\r"));
    EXPECT_FALSE(rig->sim().isMoving(1));
}

TEST_F(JogPanel, AFailedRepeatedStopLeavesTheArrowsUsable)
{
    bind();
    PanelTestRig::press(button(1));
    ASSERT_TRUE(rig->sim().isMoving(1));
    // The axis never reports done; the fifth poll's answer and the repeated stop are lost.
    rig->sim().setReply("1MD?", "0\r\n");
    int polls = 0;
    QObject::connect(&rig->sim(), &SimController::lineReceived, &rig->sim(), [&](const QByteArray& line) {
        if (line == "1MD?" && ++polls == 5)
            rig->sim().failNext(-2, 2);
    });
    rig->clearLines();
    EXPECT_EQ(jog->StopJog(1), -2);
    EXPECT_EQ(polls, 5);
    EXPECT_EQ(rig->boxes().count(), 1) << "the failure is reported";
    EXPECT_FALSE(rig->comm().IsOpen());
    EXPECT_TRUE(child<QWidget>(QStringLiteral("frameJogArrow"))->isEnabled());
}

TEST_F(JogPanel, ReleaseDuringTheStartSequenceSendsNoMotion)
{
    bind();
    // Released while the start waits for the axis to be done.
    rig->sim().setReply("1MD?", "0\r\n");
    bool released = false;
    QObject::connect(&rig->sim(), &SimController::lineReceived, &rig->sim(), [&](const QByteArray& line) {
        if (line == "1MD?" && !released) {
            released = true;
            QTimer::singleShot(0, [this] {
                rig->sim().clearReplies();
                PanelTestRig::release(button(1));
            });
        }
    });
    PanelTestRig::press(button(1));
    EXPECT_TRUE(released);
    EXPECT_EQ(rig->count(QStringLiteral("1ST\r")), 1);
    EXPECT_EQ(linesFor(QStringLiteral("1VA")) + linesFor(QStringLiteral("1MO")) + linesFor(QStringLiteral("1MV")), 0);
    EXPECT_FALSE(rig->sim().isMoving(1));
    QObject::disconnect(&rig->sim(), &SimController::lineReceived, nullptr, nullptr);

    // Released between the motor-on and the direction command.
    rig->clearLines();
    QObject::connect(&rig->sim(), &SimController::lineReceived, &rig->sim(), [this](const QByteArray& line) {
        if (line == "1MO")
            QTimer::singleShot(0, [this] { PanelTestRig::release(button(1)); });
    });
    PanelTestRig::press(button(1));
    EXPECT_EQ(linesFor(QStringLiteral("1MV")), 0);
    EXPECT_EQ(rig->count(QStringLiteral("1ST\r")), 1);
    EXPECT_FALSE(rig->sim().isMoving(1));
}

TEST_F(JogPanel, LosingTheHeldButtonStopsTheAxis)
{
    bind();
    // Disabled by another panel's lock.
    PanelTestRig::press(button(1));
    ASSERT_TRUE(rig->sim().isMoving(1));
    rig->clearLines();
    rig->gui().DisableForms(4);
    EXPECT_FALSE(jog->isEnabled());
    EXPECT_EQ(rig->lines(), (QStringList{"1ST\r"}));
    EXPECT_FALSE(rig->sim().isMoving(1));
    rig->gui().EnableForms(4);
    EXPECT_TRUE(jog->isEnabled());

    // Another panel for FormStatus of its own identifier leaves this one alone.
    rig->gui().DisableForms(2);
    EXPECT_TRUE(jog->isEnabled());
    rig->gui().EnableForms(2);

    // The next press is not blocked by the lost release.
    PanelTestRig::press(button(2));
    ASSERT_TRUE(rig->sim().isMoving(2));
    rig->clearLines();
    jog->hide();
    EXPECT_EQ(rig->lines(), (QStringList{"2ST\r"}));
    jog->show();

    PanelTestRig::press(button(0));
    ASSERT_TRUE(rig->sim().isMoving(1));
    rig->clearLines();
    jog.reset();
    EXPECT_EQ(rig->lines(), (QStringList{"1ST\r"}));
    EXPECT_FALSE(rig->sim().isMoving(1));
}

TEST_F(JogPanel, WaitsHaveALimitAndEndWithTheLink)
{
    bind();
    rig->sim().setReply("1MD?", "0\r\n");
    const qint64 start = platform::Clock::tickMs();
    PanelTestRig::press(button(1));
    EXPECT_GE(platform::Clock::tickMs() - start, KVLJog::MotionDoneLimitMs);
    EXPECT_EQ(linesFor(QStringLiteral("1VA")) + linesFor(QStringLiteral("1MO")) + linesFor(QStringLiteral("1MV")), 0);

    rig->clearLines();
    PanelTestRig::release(button(1));
    EXPECT_EQ(rig->count(QStringLiteral("1ST\r")), 2);
    EXPECT_TRUE(child<QWidget>(QStringLiteral("frameJogArrow"))->isEnabled());

    // The link closes while the start waits: the wait ends and nothing moves.
    rig->clearLines();
    QObject::connect(&rig->sim(), &SimController::lineReceived, &rig->sim(), [this](const QByteArray& line) {
        if (line == "1MD?")
            QTimer::singleShot(0, [this] { rig->comm().KVLClose(); });
    });
    const qint64 again = platform::Clock::tickMs();
    EXPECT_EQ(jog->MoveInfinite(1, 1, 1.0), -1);
    EXPECT_LT(platform::Clock::tickMs() - again, 1000);
    EXPECT_EQ(rig->count(QStringLiteral("1MD?\r")), 1);
}

TEST_F(JogPanel, CommunicationFailureIsReportedAndEndsTheOperation)
{
    bind();
    indexedMode();
    box("txtDistance", 0)->setText(QStringLiteral("1"));
    rig->sim().failNext(-2);
    PanelTestRig::click(button(1));
    EXPECT_EQ(rig->lines(), kNoLines);
    ASSERT_EQ(rig->boxes().count(), 1);
    EXPECT_EQ(rig->boxes().last().prompt,
              QStringLiteral("Error 1001 Application-defined or object-defined error KVL410ActiveX"));
    EXPECT_FALSE(rig->comm().IsOpen());
    EXPECT_EQ(rig->comm().BusType(), BUS_TYPE_NONE);
    EXPECT_EQ(rig->formEvents, kClickLock) << "the lock is released after the failure";
}

TEST_F(JogPanel, MembersByThemselves)
{
    bind();
    EXPECT_EQ(jog->GTrim2(QStringLiteral("1\r\n")), QStringLiteral("1"));
    EXPECT_EQ(jog->GTrim2(QStringLiteral("12\r\n")), QStringLiteral("12"));
    EXPECT_EQ(jog->GTrim2(QStringLiteral("\r\n0\r\n")), QStringLiteral("0"));
    EXPECT_EQ(jog->GTrim2(QStringLiteral("5")), QString());
    EXPECT_EQ(jog->GTrim2(QString()), QString());

    EXPECT_EQ(jog->MoveInfinite(3, 0, 1.5), 0);
    EXPECT_EQ(rig->lines().last(), QStringLiteral("3MV+\r"));
    EXPECT_EQ(rig->count(QStringLiteral("3VA 1.5\r")), 1);
    EXPECT_EQ(jog->StopJog(3), 0);
    EXPECT_EQ(jog->MoveInfinite(3, -1, 1.5), 0);
    EXPECT_EQ(rig->lines().last(), QStringLiteral("3MV-\r"));
    EXPECT_EQ(jog->StopJog(3), 0);

    // Link closed: nothing is sent.
    rig->comm().KVLClose();
    rig->clearLines();
    EXPECT_EQ(jog->MoveInfinite(3, 1, 1.0), 0);
    EXPECT_EQ(jog->StopJog(3), 0);
    EXPECT_EQ(rig->lines(), kNoLines);
}

} // namespace

namespace {

// Each axis answers with values of its own, so a speed shown or sent for the wrong axis shows up.
TEST_F(JogPanel, ASpeedOrUnitNotReadIsNeitherShownNorSent)
{
    rig = std::make_unique<PanelTestRig>(BUS_TYPE_USB, 3);
    SimController& sim = rig->sim();
    sim.setValue(1, "VA", "11");
    sim.setValue(1, "SN", "2");
    sim.setValue(2, "VA", "22");
    sim.setValue(2, "SN", "3");
    sim.setValue(3, "QM", "0");
    sim.setReply(" 1VA?", "");
    sim.setReply(" 2SN?", "");
    jog = std::make_unique<KVLJog>();
    jog->show();
    jog->setCommControl(&rig->comm());
    EXPECT_EQ(box("txtSpeed", 0)->text(), QString());
    EXPECT_EQ(box("txtSpeed", 1)->text(), QStringLiteral("22.0000"));
    EXPECT_EQ(units(0), QStringLiteral("mm"));
    EXPECT_EQ(units(1), QString());
    EXPECT_EQ(units(3), QString());
    // Leaving the box writes no zero into it.
    PanelTestRig::leave(box("txtSpeed", 0));
    EXPECT_EQ(box("txtSpeed", 0)->text(), QString());

    // A free-run jog reads the speed again; still lost, it moves nothing and says so.
    PanelTestRig::click(child<QWidget>(QStringLiteral("optMode_1")));
    rig->clearLines();
    PanelTestRig::press(button(1));
    QCoreApplication::processEvents();
    EXPECT_EQ(rig->lines().filter(QStringLiteral("VA")), QStringList{" 1VA?\r"});
    EXPECT_EQ(linesFor(QStringLiteral("1MV")) + linesFor(QStringLiteral("1MO")), 0);
    ASSERT_EQ(rig->boxes().count(), 1);
    EXPECT_TRUE(rig->boxes().last().prompt.startsWith(QStringLiteral("The jog speed of Axis 1 could not be read")));
    PanelTestRig::release(button(1));

    // Answered this time: the jog runs at axis 1's own speed.
    sim.clearReplies();
    sim.setValue(3, "QM", "0");
    rig->clearLines();
    PanelTestRig::press(button(1));
    EXPECT_EQ(box("txtSpeed", 0)->text(), QStringLiteral("11.0000"));
    EXPECT_EQ(rig->lines().filter(QStringLiteral("1V")), (QStringList{" 1VA?\r", "1VA 11\r"}));
    EXPECT_EQ(rig->count(QStringLiteral("1MV+\r")), 1);
    PanelTestRig::release(button(1));

    // A speed typed after a lost read is sent as typed, with no read.
    sim.setReply(" 2VA?", "");
    optionY(0)->setChecked(true);
    optionY(1)->setChecked(true);
    EXPECT_EQ(box("txtSpeed", 1)->text(), QString());
    QTest::keyClicks(box("txtSpeed", 1), QStringLiteral("3"));
    rig->clearLines();
    PanelTestRig::press(button(2));
    EXPECT_EQ(rig->lines().filter(QStringLiteral("2V")), QStringList{"2VA 3\r"});
    PanelTestRig::release(button(2));

    // A probe that went unanswered disables neither option; axis 3 (no motor) stays disabled.
    sim.setReply("2QM?", "");
    sim.setReply("3QM?", "");
    jog->setCommControl(&rig->comm());
    EXPECT_TRUE(optionX(1)->isEnabled());
    EXPECT_TRUE(optionY(1)->isEnabled());
    EXPECT_FALSE(optionX(2)->isEnabled());
}

} // namespace
