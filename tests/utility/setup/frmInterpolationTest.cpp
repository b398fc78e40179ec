#include "tests/utility/setup/SetupDesk.h"

#include "library/link/KVLComm.h"
#include "platform/ui/MsgBox.h"
#include "tests/support/TestHelpers.h"
#include "utility/shell/Form.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/SessionEnd.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString W = QStringLiteral("frmInterpolation");
const QString Closing = QStringLiteral("All group assignments will be deleted when the Interpolation\r\n"
                                       "window is closed.  Do you want to close this window?");

QStringList trajectoryReads(int axis)
{
    QStringList lines;
    for (const char* mn : {"TJ", "VA", "AC", "AG", "JK", "VU", "AU"})
        lines << QStringLiteral("%1%2?\r").arg(axis).arg(QLatin1String(mn));
    return lines;
}

QLineEdit* box(SetupDesk& d, const QString& name)
{
    return d.child<QLineEdit>(W, name);
}

} // namespace

TEST(frmInterpolation, ReadsEveryAxisAssignsShowsAndDissolvesAGroup)
{
    SetupDesk d(4);
    for (int a = 1; a <= 4; ++a) {
        d.sim().setValue(a, "TJ", "2");
        d.sim().setValue(a, "VA", QByteArray::number(100 * a));
        d.sim().setValue(a, "VU", QByteArray::number(1000 * a));
        d.sim().setValue(a, "AU", QByteArray::number(500 * a));
        d.sim().setValue(a, "JK", "30");
    }
    d.dispatch("mnuSetupMotionInterpolation");
    ASSERT_NE(d.form(W), nullptr);
    QStringList opening;
    for (int a = 1; a <= 4; ++a)
        opening << trajectoryReads(a);
    opening << "1HN?\r" << "TB?\r";
    EXPECT_EQ(d.lines(), opening);
    EXPECT_TRUE(d.child<QRadioButton>(W, "optGroupNum_1")->isEnabled());
    EXPECT_FALSE(d.child<QRadioButton>(W, "optGroupNum_2")->isEnabled());
    EXPECT_EQ(box(d, "txtGroupAxes_0")->text(), QString()) << "an empty group shows empty boxes";

    box(d, "txtGroupAxes_0")->setText("1");
    box(d, "txtGroupAxes_1")->setText("2");
    d.clearLines();
    d.click(W, "cmdGroupAxes");
    EXPECT_EQ(d.lines(), QStringList({"1HX\r", "1HN1,2\r", "1VU?\r", "1AU?\r", "1JK?\r", "2VU?\r", "2AU?\r",
                                      "2JK?\r"}));
    EXPECT_EQ(box(d, "txtGroupParam_0")->toolTip(), QStringLiteral("Suggested velocity = 500"));
    EXPECT_EQ(box(d, "txtGroupParam_1")->toolTip(), QStringLiteral("Suggested acceleration = 250"));
    EXPECT_EQ(box(d, "txtGroupParam_2")->toolTip(), QStringLiteral("Suggested deceleration = 250"));
    EXPECT_EQ(box(d, "txtGroupParam_3")->toolTip(), QStringLiteral("Suggested jerk = 30"));

    // Shown again, the group lists its members and parameters.
    d.sim().setValue(2, "HV", "12.5");
    d.click(W, "optGroupNum_1");
    d.clearLines();
    d.click(W, "optGroupNum_0");
    EXPECT_EQ(d.lines(), QStringList({"1HN?\r", "1HV?\r", "1HA?\r", "1HD?\r", "1HJ?\r"}));
    EXPECT_EQ(box(d, "txtGroupAxes_1")->text(), QStringLiteral("2"));

    // Unassign puts every axis's own parameters back.
    d.clearLines();
    d.click(W, "cmdUngroupAxes");
    QStringList restore{"1HX\r"};
    for (int a = 1; a <= 4; ++a)
        restore << QStringLiteral("%1TJ2\r").arg(a) << QStringLiteral("%1VA%2\r").arg(a).arg(100 * a)
                << QStringLiteral("%1AC0\r").arg(a) << QStringLiteral("%1AG0\r").arg(a)
                << QStringLiteral("%1JK30\r").arg(a);
    EXPECT_EQ(d.lines(), restore);
    EXPECT_EQ(box(d, "txtGroupAxes_0")->text(), QString());
}

TEST(frmInterpolation, MembersMustBeAxesAndTypedNumbersGoOutWithThePeriod)
{
    LocaleScope comma(QLocale(QLocale::German, QLocale::Germany));
    SetupDesk d(6);
    d.dispatch("mnuSetupMotionInterpolation");
    EXPECT_TRUE(d.child<QRadioButton>(W, "optGroupNum_2")->isEnabled());
    for (const char* bad : {"60", "2a", "10", "0"}) {
        box(d, "txtGroupAxes_0")->setText(QLatin1String(bad));
        d.rig.boxes.clear();
        d.clearLines();
        d.click(W, "cmdGroupAxes");
        EXPECT_TRUE(d.lines().isEmpty()) << bad;
        EXPECT_EQ(d.rig.boxes.size(), 1) << bad;
    }
    box(d, "txtGroupAxes_0")->setText("3");
    box(d, "txtGroupAxes_1")->setText("");
    box(d, "txtGroupAxes_2")->setText("4");
    d.clearLines();
    d.click(W, "cmdGroupAxes");
    EXPECT_EQ(d.lines().mid(0, 2), QStringList({"1HX\r", "1HN3,4\r"}));

    // Parameters: typed in the locale, sent with the period; text that is no number sends nothing.
    box(d, "txtGroupParam_0")->setText("2,5");
    box(d, "txtGroupParam_2")->setText("7");
    d.clearLines();
    d.click(W, "cmdParamApply");
    EXPECT_EQ(d.lines(), QStringList({"1HV2.5\r", "1HD7\r"}));
    box(d, "txtGroupParam_1")->setText("5\r1MO");
    d.rig.boxes.clear();
    d.clearLines();
    d.click(W, "cmdParamApply");
    EXPECT_TRUE(d.lines().isEmpty());
    EXPECT_EQ(d.rig.boxes.size(), 1);

    // Moves with empty boxes move to 0 and say so in the boxes.
    d.clearLines();
    d.click(W, "cmdLinearInterp");
    EXPECT_EQ(d.lines(), QStringList({"1HZ\r", "1HO\r", "1HL0,0\r"}));
    EXPECT_EQ(box(d, "txtTargPos_0")->text(), QStringLiteral("0"));
    box(d, "txtCntrPos_2")->setText("90,5");
    d.clearLines();
    d.click(W, "cmdCircularInterp");
    EXPECT_EQ(d.lines(), QStringList({"1HO\r", "1HC0,0,90.5\r"}));

    // A group without axes moves nothing and says why.
    d.click(W, "optGroupNum_1");
    d.rig.boxes.clear();
    d.clearLines();
    d.click(W, "cmdLinearInterp");
    EXPECT_EQ(d.lines(), QStringList({"2HZ\r"}));
    EXPECT_EQ(d.rig.boxes.size(), 1);
}

TEST(frmInterpolation, ClosingAsksAndYesDissolvesEveryGroupWithoutWritingWhatWasNotRead)
{
    SetupDesk d(4);
    d.sim().setReply("2VA?", QByteArray());
    d.dispatch("mnuSetupMotionInterpolation");
    d.rig.answer = [](const ShellRig::Box& box) {
        return box.prompt == Closing ? int(platform::vbNo) : int(platform::vbOK);
    };
    d.clearLines();
    // Escape asks the closing question as the close box does; No keeps the window.
    QLineEdit* member = box(d, "txtGroupAxes_0");
    member->setFocus();
    QTest::keyClick(member, Qt::Key_Escape);
    EXPECT_NE(d.form(W), nullptr);
    EXPECT_TRUE(d.lines().isEmpty());
    ASSERT_EQ(d.rig.boxes.size(), 1);
    EXPECT_EQ(d.rig.boxes.at(0).style, platform::vbYesNo | platform::vbQuestion);
    EXPECT_EQ(d.rig.boxes.at(0).title, QStringLiteral("Moxtrel"));

    d.rig.answer = {};
    d.rig.boxes.clear();
    EXPECT_TRUE(Form::Unload(d.form(W)));
    const QStringList sent = d.lines();
    EXPECT_EQ(sent.count(QStringLiteral("1HX\r")), 1);
    EXPECT_EQ(sent.count(QStringLiteral("2HX\r")), 1);
    EXPECT_EQ(sent.count(QStringLiteral("1VA0\r")), 2);
    EXPECT_EQ(sent.count(QStringLiteral("2VA0\r")), 0) << "never read";
    ASSERT_EQ(d.rig.boxes.size(), 2);
    EXPECT_TRUE(d.rig.boxes.at(1).prompt.contains(QStringLiteral("Axis 2: velocity")));
}

// Told to end (logout, Ctrl+C, kill) with a group assigned, the program asks nobody and closes the
// window as a confirmed close does: no group outlives it on the controller.
TEST(frmInterpolation, TheSessionEndDissolvesTheGroupsBeforeTheProgramEnds)
{
    struct Restore {
        ~Restore() { platform::setMsgBoxesDismissed(false); }
    } restore;
    SetupDesk d(4);
    for (int a = 1; a <= 4; ++a)
        d.sim().setValue(a, "VA", QByteArray::number(100 * a));
    d.dispatch("mnuSetupMotionInterpolation");
    d.type(W, "txtGroupAxes_0", "3");
    d.type(W, "txtGroupAxes_1", "4");
    d.click(W, "cmdGroupAxes");
    d.clearLines();
    d.rig.boxes.clear();

    SessionEnd::end();

    EXPECT_EQ(d.form(W), nullptr);
    EXPECT_TRUE(KvlXGlobal::gAppClosing);
    EXPECT_TRUE(d.rig.boxes.isEmpty()) << "no question waits for a person";
    const QStringList sent = d.lines();
    EXPECT_EQ(sent.count(QStringLiteral("1HX\r")), 1);
    EXPECT_EQ(sent.count(QStringLiteral("2HX\r")), 1);
    for (int a = 1; a <= 4; ++a)
        EXPECT_TRUE(sent.contains(QStringLiteral("%1VA%2\r").arg(a).arg(100 * a))) << a;
}

TEST(frmInterpolation, AGroupNeverReadIsNeitherEmptiedNorDissolvedNorMovedOrSuggestedFrom)
{
    PointLocale point;
    SetupDesk d(4);
    for (int a = 1; a <= 4; ++a) {
        d.sim().setValue(a, "VU", QByteArray::number(1000 * a));
        d.sim().setValue(a, "AU", QByteArray::number(500 * a));
        d.sim().setValue(a, "JK", QByteArray::number(10 * a));
    }
    d.sim().setValue(1, "HN", "3,4");
    d.sim().setValue(1, "HV", "7.5");
    d.sim().pushError(12, "A real error");
    d.sim().setReply("1HN?", QByteArray());
    d.dispatch("mnuSetupMotionInterpolation");
    ASSERT_NE(d.form(W), nullptr);
    EXPECT_FALSE(d.lines().contains(QStringLiteral("TB?\r"))) << "the controller's own error stays in its buffer";
    EXPECT_EQ(d.sim().errorCount(), 1);
    EXPECT_TRUE(d.rig.boxes.isEmpty()) << d.prompts().join('\n').toStdString();
    EXPECT_EQ(box(d, "txtGroupAxes_0")->text(), QString());

    // Assign reads the members again; still lost, it dissolves nothing and says so.
    d.clearLines();
    d.click(W, "cmdGroupAxes");
    QStringList sent = d.lines();
    sent.removeAll(QStringLiteral("VE?\r\n")); // the link putting itself back in step
    EXPECT_EQ(sent, QStringList({"1HN?\r"}));
    ASSERT_EQ(d.rig.boxes.size(), 1) << d.prompts().join('\n').toStdString();
    EXPECT_EQ(d.rig.boxes.at(0).prompt,
              QStringLiteral("The axes of group 1 could not be read from the controller: nothing was sent."));

    // Answered when asked again: the controller's members go back, and a limit lost suggests nothing.
    d.sim().clearReplies();
    d.sim().setReply("4VU?", QByteArray());
    d.rig.boxes.clear();
    d.clearLines();
    d.click(W, "cmdGroupAxes");
    sent = d.lines();
    sent.removeAll(QStringLiteral("VE?\r\n"));
    EXPECT_EQ(sent.mid(0, 7), QStringList({"1HN?\r", "1HV?\r", "1HA?\r", "1HD?\r", "1HJ?\r", "1HX\r", "1HN3,4\r"}));
    EXPECT_EQ(box(d, "txtGroupAxes_1")->text(), QStringLiteral("4"));
    EXPECT_EQ(box(d, "txtGroupParam_0")->text(), QStringLiteral("7.5"));
    EXPECT_EQ(box(d, "txtGroupParam_0")->toolTip(), QString()) << "axis 4's limit was not read";
    EXPECT_EQ(box(d, "txtGroupParam_1")->toolTip(), QStringLiteral("Suggested acceleration = 750"));
    EXPECT_EQ(box(d, "txtGroupParam_3")->toolTip(), QStringLiteral("Suggested jerk = 30"));

    // Its count lost, a move says it was not read rather than that the group has no axes.
    d.sim().setReply("1HZ", QByteArray());
    d.rig.boxes.clear();
    d.clearLines();
    d.click(W, "cmdLinearInterp");
    EXPECT_TRUE(d.lines().filter(QStringLiteral("1H")).size() == 1) << d.lines().join(' ').toStdString();
    ASSERT_EQ(d.rig.boxes.size(), 1) << d.prompts().join(QLatin1Char(10)).toStdString();
    EXPECT_TRUE(d.rig.boxes.at(0).prompt.startsWith(QStringLiteral("The number of axes of group 1 could not be read")));

    // Another group whose members are lost shows none of group 1's; shown again, group 1 keeps its own.
    d.sim().setReply("2HN?", QByteArray());
    d.click(W, "optGroupNum_1");
    EXPECT_EQ(box(d, "txtGroupAxes_0")->text(), QString());
    EXPECT_EQ(box(d, "txtGroupParam_0")->text(), QString());
    d.click(W, "optGroupNum_0");
    d.sim().setReply("1HN?", QByteArray());
    d.sim().setReply("1HV?", QByteArray());
    d.rig.boxes.clear();
    d.child<QRadioButton>(W, "optGroupNum_0")->setChecked(false);
    d.child<QRadioButton>(W, "optGroupNum_0")->setChecked(true);
    EXPECT_EQ(box(d, "txtGroupAxes_0")->text(), QStringLiteral("3"));
    EXPECT_EQ(box(d, "txtGroupParam_0")->text(), QStringLiteral("7.5"));
}
