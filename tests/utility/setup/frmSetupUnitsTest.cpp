#include "tests/utility/setup/SetupRig.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "platform/ui/MsgBox.h"
#include "sim/SimController.h"
#include "tests/support/TestHelpers.h"
#include "utility/setup/AxisOptionRow.h"
#include "utility/setup/frmSetupUnits.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/frmMain.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

frmSetupUnits* openUnits(SetupRig& rig)
{
    return dynamic_cast<frmSetupUnits*>(
        rig.open(QStringLiteral("mnuSetupMotionResolution"), QStringLiteral("frmSetupUnits")));
}

const QString kMicro = QString(QChar(0xB5));

QString question(const QString& axes)
{
    return QStringLiteral("For the changes in \"micro-step factor\" to take affect,\r\n"
                          "the Axorn7100 has to be re-initialized.\r\n\r\n"
                          "Do you want to re-initialize ") +
           axes + QStringLiteral(" now?");
}

} // namespace

TEST(frmSetupUnitsTest, ReadsMotorAndFeedbackOnlyAxesAndAppliesEachItsOwnGroup)
{
    PointLocale point;
    SetupRig rig(SetupRig::Model{"KVL410", 2, 4, 0}, [](SimController& sim) {
        sim.setValue(1, "QM", "2");
        sim.setValue(1, "SN", "2");
        sim.setValue(1, "SU", "0.001");
        sim.setValue(1, "FR", "0.01");
        sim.setValue(1, "QS", "10");
        sim.setWord(1, "ZB", 0x100);
        sim.setValue(2, "QM", "0");
        sim.setValue(3, "SN", "7");
        sim.setValue(3, "SU", "0.5");
        sim.setWord(4, "ZB", 0x20);
    });
    frmSetupUnits* w = openUnits(rig);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Setup Resolution"));
    EXPECT_EQ(rig.takeLines(),
              (QStringList{"1SN?", "1SU?", "1QM?", "1SN?", "1SU?", "1FR?", "1QS?", "1ZB?", "2SN?", "2SU?", "2QM?",
                           "3SN?", "3SU?", "4SN?", "4SU?", " 3SN?", "3SU?", "3ZB?", " 4SN?", "4SU?", "4ZB?"}));
    // Options for the feedback axes only; axis 1, a stepper in millimetres with feedback, shown.
    for (int i = 0; i < frmSetupUnits::Options; ++i)
        EXPECT_EQ(w->axisRow()->isAxisEnabled(i + 1), i < 4) << i;
    EXPECT_EQ(w->unitsList()->currentText(), QStringLiteral("MILLIMETER"));
    EXPECT_EQ(child<QLabel>(w, QStringLiteral("lblUnits"))->text(), QStringLiteral("mm"));
    EXPECT_TRUE(child<QGroupBox>(w, QStringLiteral("framStepper"))->isEnabled());
    EXPECT_TRUE(child<QGroupBox>(w, QStringLiteral("frameDefineResolution"))->isEnabled());
    EXPECT_TRUE(child<QRadioButton>(w, QStringLiteral("optFeedback_0"))->isChecked());
    EXPECT_EQ(child<QLineEdit>(w, QStringLiteral("txtMicroStep"))->text(), QStringLiteral("10"));

    // Axis 3 is feedback-only: units and resolution, no stepper fields.
    click(child<QRadioButton>(w, QStringLiteral("optUnitSelectAxis_2")));
    EXPECT_EQ(rig.main->mobjGuiState()->CurrentAxis(), 3);
    EXPECT_EQ(w->unitsList()->currentText(), QStringLiteral("DEGREE"));
    EXPECT_FALSE(child<QGroupBox>(w, QStringLiteral("framStepper"))->isEnabled());
    EXPECT_TRUE(child<QGroupBox>(w, QStringLiteral("frameDefineResolution"))->isEnabled());
    typeAndLeave(child<QLineEdit>(w, QStringLiteral("txtDefineResolution")), QStringLiteral("0.25"));

    click(child<QPushButton>(w, QStringLiteral("btnResApply")));
    // Axis 2 has no motor: nothing for it.
    EXPECT_EQ(rig.takeLines(), (QStringList{"1SN2", "1SU0.001", "1FR0.01", "1QS10", "1ZB0100", "3SN7", "3SU0.25",
                                            "4SN0", "4SU0"}));
    EXPECT_TRUE(rig.prompts().isEmpty());
}

TEST(frmSetupUnitsTest, UnitsByCodeAndNoCodeRewrittenByShowingIt)
{
    SetupRig rig(SetupRig::Model{"KVL410", 3, 3, 0}, [](SimController& sim) {
        for (int axis = 1; axis <= 3; ++axis)
            sim.setValue(axis, "QM", "2");
        sim.setValue(1, "SN", "8");  // gradians: no list item
        sim.setValue(2, "SN", "11"); // micro-radians
        sim.setValue(3, "SN", "15"); // no such code
    });
    frmSetupUnits* w = openUnits(rig);
    ASSERT_NE(w, nullptr);
    QLabel* unit = child<QLabel>(w, QStringLiteral("lblUnits"));
    EXPECT_EQ(w->unitsList()->currentIndex(), -1);
    EXPECT_EQ(unit->text(), QStringLiteral("grad"));
    click(child<QRadioButton>(w, QStringLiteral("optUnitSelectAxis_1")));
    EXPECT_EQ(w->unitsList()->currentText(), QStringLiteral("MICRO-RADIAN"));
    EXPECT_EQ(unit->text(), kMicro + QStringLiteral("rad"));
    click(child<QRadioButton>(w, QStringLiteral("optUnitSelectAxis_2")));
    EXPECT_EQ(w->unitsList()->currentIndex(), -1);
    EXPECT_EQ(unit->text(), QString());
    rig.takeLines();

    // Axis 2 changed to radians by the user; the others are sent as they were read.
    click(child<QRadioButton>(w, QStringLiteral("optUnitSelectAxis_1")));
    w->unitsList()->setCurrentIndex(8);
    emit w->unitsList()->activated(8);
    EXPECT_EQ(rig.shell.comm()->DisplacementUnits(2), 9);
    EXPECT_EQ(unit->text(), QStringLiteral("rad"));
    click(child<QPushButton>(w, QStringLiteral("btnResApply")));
    const QStringList sent = rig.takeLines();
    EXPECT_TRUE(sent.contains(QStringLiteral("1SN8")));
    EXPECT_TRUE(sent.contains(QStringLiteral("2SN9")));
    EXPECT_TRUE(sent.contains(QStringLiteral("3SN15")));
}

TEST(frmSetupUnitsTest, MotorStepsAndEncoderCountsSetTheResolutionsOfAStepper)
{
    LocaleScope comma(QLocale(QLocale::German, QLocale::Germany));
    SetupRig rig(SetupRig::Model{"KVL410", 2, 2, 0}, [](SimController& sim) {
        sim.setValue(1, "QM", "2");
        sim.setValue(1, "SN", "1");
        sim.setValue(1, "SU", "0.5");
        sim.setValue(1, "FR", "0.3");
        sim.setValue(2, "QM", "2");
        sim.setValue(2, "SN", "0");
        sim.setValue(2, "SU", "0.5");
        sim.setValue(2, "FR", "0.3");
    });
    frmSetupUnits* w = openUnits(rig);
    ASSERT_NE(w, nullptr);
    KVLComm* c = rig.shell.comm();
    EXPECT_EQ(c->Stepsize(1), 1.0f);
    EXPECT_EQ(c->EncoderResolution(1), 1.0f);
    EXPECT_EQ(child<QLineEdit>(w, QStringLiteral("txtDefineResolution"))->text(), QStringLiteral("1,"));
    EXPECT_FALSE(child<QGroupBox>(w, QStringLiteral("frameDefineResolution"))->isEnabled());
    click(child<QRadioButton>(w, QStringLiteral("optUnitSelectAxis_1")));
    EXPECT_EQ(c->EncoderResolution(2), 1.0f);
    EXPECT_EQ(c->Stepsize(2), 0.3f);
    EXPECT_EQ(child<QLineEdit>(w, QStringLiteral("txtStepRes"))->text(), QStringLiteral("0,3"));
    rig.takeLines();

    // Tabbing through the boxes in a comma locale changes nothing; typed values go out with the
    // period.
    for (const char* name : {"txtDefineResolution", "txtStepRes", "txtMicroStep"}) {
        QLineEdit* box = child<QLineEdit>(w, QLatin1String(name));
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(box, &out);
    }
    EXPECT_EQ(c->Stepsize(2), 0.3f);
    typeAndLeave(child<QLineEdit>(w, QStringLiteral("txtStepRes")), QStringLiteral("0,125"));
    EXPECT_EQ(c->Stepsize(2), 0.125f);
    click(child<QPushButton>(w, QStringLiteral("btnResApply")));
    EXPECT_EQ(rig.takeLines(), (QStringList{"1SN1", "1SU1", "1FR1", "1QS0", "1ZB00", "2SN0", "2SU1", "2FR0.125",
                                            "2QS0", "2ZB00"}));
}

TEST(frmSetupUnitsTest, MicroStepChangesAskToReinitialiseUntilTheAnswerIsYes)
{
    SetupRig rig(SetupRig::Model{"KVL7100", 3, 3, 0x7}, [](SimController& sim) {
        for (int axis = 1; axis <= 3; ++axis) {
            sim.setValue(axis, "QM", "2");
            sim.setValue(axis, "SN", "2");
            sim.setValue(axis, "QS", "10");
        }
    });
    ASSERT_TRUE(KvlXGlobal::gAmplifierPresent);
    frmSetupUnits* w = openUnits(rig);
    ASSERT_NE(w, nullptr);
    QLineEdit* factor = child<QLineEdit>(w, QStringLiteral("txtMicroStep"));
    typeAndLeave(factor, QStringLiteral("20"));
    click(child<QRadioButton>(w, QStringLiteral("optUnitSelectAxis_2")));
    typeAndLeave(factor, QStringLiteral("40"));
    rig.takeLines();

    rig.shell.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
    click(child<QPushButton>(w, QStringLiteral("btnResApply")));
    ASSERT_EQ(rig.shell.boxes.size(), 1);
    EXPECT_EQ(rig.shell.boxes.at(0).prompt, question(QStringLiteral("axes 1, 3")));
    EXPECT_EQ(rig.shell.boxes.at(0).style, platform::vbYesNo | platform::vbQuestion);
    EXPECT_EQ(rig.shell.boxes.at(0).title, QStringLiteral("Moxtrel"));
    EXPECT_FALSE(rig.takeLines().filter(QStringLiteral("QD")).size());
    EXPECT_TRUE(child<QPushButton>(w, QStringLiteral("btnResApply"))->isEnabled());

    rig.shell.answer = {};
    rig.shell.boxes.clear();
    click(child<QPushButton>(w, QStringLiteral("btnResApply")));
    ASSERT_EQ(rig.shell.boxes.size(), 1);
    const QStringList sent = rig.takeLines();
    EXPECT_EQ(sent.mid(sent.size() - 2), (QStringList{"1QD", "3QD"}));

    rig.shell.boxes.clear();
    click(child<QPushButton>(w, QStringLiteral("btnResApply")));
    EXPECT_TRUE(rig.shell.boxes.isEmpty());

    // One axis: "axis".
    typeAndLeave(factor, QStringLiteral("80"));
    click(child<QPushButton>(w, QStringLiteral("btnResApply")));
    ASSERT_EQ(rig.shell.boxes.size(), 1);
    EXPECT_EQ(rig.shell.boxes.at(0).prompt, question(QStringLiteral("axis 3")));
}

TEST(frmSetupUnitsTest, FactorsOfEveryAxisKeepThirtyTwoBitsAndOutOfRangeIsRefused)
{
    SetupRig rig(SetupRig::Model{"KVL410", 8, 8, 0xFF}, [](SimController& sim) {
        for (int axis = 1; axis <= 8; ++axis) {
            sim.setValue(axis, "QM", "2");
            sim.setValue(axis, "SN", "2");
        }
        sim.setValue(8, "QS", "40000");
        sim.setValue(7, "QS", "100000");
    });
    frmSetupUnits* w = openUnits(rig);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(rig.shell.comm()->Microstep(8), 40000);
    rig.takeLines();
    click(child<QPushButton>(w, QStringLiteral("btnResApply")));
    EXPECT_TRUE(rig.shell.boxes.isEmpty());
    const QStringList sent = rig.takeLines();
    EXPECT_TRUE(sent.contains(QStringLiteral("8QS40000")));
    EXPECT_TRUE(sent.contains(QStringLiteral("7QS100000")));

    click(child<QRadioButton>(w, QStringLiteral("optUnitSelectAxis_7")));
    QLineEdit* factor = child<QLineEdit>(w, QStringLiteral("txtMicroStep"));
    for (const char* bad : {"5000000000", "abc"}) {
        typeAndLeave(factor, QLatin1String(bad));
        EXPECT_EQ(factor->text(), QStringLiteral("40000")) << bad;
    }
    EXPECT_EQ(rig.shell.boxes.size(), 2);
    EXPECT_EQ(rig.shell.comm()->Microstep(8), 40000);
}

TEST(frmSetupUnitsTest, CancelKeepsWhatWasAppliedAndOkReadsTheErrorBuffer)
{
    PointLocale point;
    SetupRig rig(SetupRig::Model{"KVL410", 1, 1, 0}, [](SimController& sim) {
        sim.setValue(1, "QM", "1");
        sim.setValue(1, "SN", "2");
        sim.setValue(1, "SU", "0.5");
    });
    frmSetupUnits* w = openUnits(rig);
    ASSERT_NE(w, nullptr);
    QLineEdit* resolution = child<QLineEdit>(w, QStringLiteral("txtDefineResolution"));
    typeAndLeave(resolution, QStringLiteral("0.25"));
    click(child<QPushButton>(w, QStringLiteral("btnResCancel")));
    EXPECT_EQ(rig.shell.comm()->EncoderResolution(1), 0.5f);
    EXPECT_EQ(Form::loadedForm(QStringLiteral("frmSetupUnits")), nullptr);
    QCoreApplication::processEvents();

    w = openUnits(rig);
    ASSERT_NE(w, nullptr);
    resolution = child<QLineEdit>(w, QStringLiteral("txtDefineResolution"));
    typeAndLeave(resolution, QStringLiteral("0.25"));
    click(child<QPushButton>(w, QStringLiteral("btnResApply")));
    typeAndLeave(resolution, QStringLiteral("4"));
    click(child<QPushButton>(w, QStringLiteral("btnResCancel")));
    EXPECT_EQ(rig.shell.comm()->EncoderResolution(1), 0.25f);
    QCoreApplication::processEvents();

    w = openUnits(rig);
    ASSERT_NE(w, nullptr);
    rig.takeLines();
    click(child<QPushButton>(w, QStringLiteral("btnResOk")));
    EXPECT_EQ(rig.takeLines(), (QStringList{"1SN2", "1SU0.25", "1FR0", "1QS0", "1ZB00", "TB?"}));
    EXPECT_EQ(Form::loadedForm(QStringLiteral("frmSetupUnits")), nullptr);
}

TEST(frmSetupUnitsTest, AValueWhoseQueryFailedIsNotWrittenAndNamedOnce)
{
    SetupRig rig(SetupRig::Model{"KVL410", 2, 2, 0}, [](SimController& sim) {
        sim.setValue(1, "QM", "2");
        sim.setValue(1, "QS", "10");
        sim.setValue(2, "QM", "2");
        sim.setValue(1, "SN", "2");
        sim.setValue(2, "SN", "2");
        sim.setReply("1QS?", "No data\r\n");
        sim.setReply("2ZB?", "No Message\r\n");
    });
    frmSetupUnits* w = openUnits(rig);
    ASSERT_NE(w, nullptr);
    rig.takeLines();
    click(child<QPushButton>(w, QStringLiteral("btnResApply")));
    EXPECT_EQ(rig.takeLines(), (QStringList{"1SN2", "1SU0", "1FR0", "1ZB00", "2SN2", "2SU0", "2FR0", "2QS0"}));
    ASSERT_EQ(rig.prompts().size(), 1);
    EXPECT_TRUE(rig.prompts().at(0).endsWith(QStringLiteral("\r\nAxis 1: QS\r\nAxis 2: ZB")))
        << rig.prompts().at(0).toStdString();
    // The feedback word of axis 2 was not read: its bit cannot be chosen.
    EXPECT_TRUE(child<QRadioButton>(w, QStringLiteral("optFeedback_0"))->isEnabled());
    click(child<QRadioButton>(w, QStringLiteral("optUnitSelectAxis_1")));
    EXPECT_FALSE(child<QRadioButton>(w, QStringLiteral("optFeedback_0"))->isEnabled());
}

// A query that gets no reply at all on the serial line costs that one value: the link stays open,
// and Apply writes every value that was read.
TEST(frmSetupUnitsTest, AQueryLeftUnansweredCostsItsValueNotTheLink)
{
    SetupRig rig(SetupRig::Model{"KVL410", 2, 2, 0}, [](SimController& sim) {
        sim.setValue(1, "QM", "2");
        sim.setValue(2, "QM", "2");
        sim.setValue(1, "SN", "2");
        sim.setValue(2, "SN", "2");
        sim.setReply("1QS?", "");
    });
    frmSetupUnits* w = openUnits(rig);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(rig.shell.comm()->BusType(), BUS_TYPE_RS232);
    rig.takeLines();
    click(child<QPushButton>(w, QStringLiteral("btnResApply")));
    EXPECT_EQ(rig.takeLines(), (QStringList{"1SN2", "1SU0", "1FR0", "1ZB00", "2SN2", "2SU0", "2FR0", "2QS0", "2ZB00"}));
    ASSERT_EQ(rig.prompts().size(), 1);
    EXPECT_TRUE(rig.prompts().at(0).endsWith(QStringLiteral("\r\nAxis 1: QS"))) << rig.prompts().at(0).toStdString();
    EXPECT_EQ(rig.shell.comm()->BusType(), BUS_TYPE_RS232);
}

TEST(frmSetupUnitsTest, ACurrentAxisWithoutAnOptionShowsNothingToEdit)
{
    SetupRig rig(SetupRig::Model{"KVL410", 12, 12, 0});
    rig.main->mobjGuiState()->setCurrentAxis(10);
    frmSetupUnits* w = openUnits(rig);
    ASSERT_NE(w, nullptr);
    // Twelve axes are read; the window has options for eight.
    EXPECT_TRUE(rig.takeLines().contains(QStringLiteral("12SN?")));
    EXPECT_EQ(w->axisRow()->shownAxis(), 0);
    EXPECT_FALSE(child<QGroupBox>(w, QStringLiteral("frameDefineResolution"))->isEnabled());
    EXPECT_FALSE(w->unitsList()->isEnabled());
    click(child<QRadioButton>(w, QStringLiteral("optUnitSelectAxis_7")));
    EXPECT_EQ(rig.main->mobjGuiState()->CurrentAxis(), 8);
    EXPECT_TRUE(w->unitsList()->isEnabled());
}

TEST(frmSetupUnitsTest, ValuesNotReadShowEmptyNeverTheCachesGuess)
{
    SetupRig rig(SetupRig::Model{"KVL410", 2, 2, 0}, [](SimController& sim) {
        for (int a = 1; a <= 2; ++a) {
            sim.setValue(a, "QM", "2");
            sim.setValue(a, "SN", "2");
            sim.setValue(a, "SU", QByteArray::number(1000 * a));
            sim.setValue(a, "QS", QByteArray::number(4 * a));
            sim.setWord(a, "ZB", 0x100);
        }
        sim.setReply("1SU?", "");
        sim.setReply("1ZB?", "");
        sim.setReply("2SN?", "");
    });
    frmSetupUnits* w = openUnits(rig);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->axisRow()->shownAxis(), 1);
    EXPECT_EQ(child<QLineEdit>(w, QStringLiteral("txtDefineResolution"))->text(), QString());
    EXPECT_EQ(child<QLineEdit>(w, QStringLiteral("txtMicroStep"))->text(), QStringLiteral("4"));
    EXPECT_FALSE(child<QRadioButton>(w, QStringLiteral("optFeedback_0"))->isChecked());
    EXPECT_FALSE(child<QRadioButton>(w, QStringLiteral("optFeedback_1"))->isChecked());

    click(child<QRadioButton>(w, QStringLiteral("optUnitSelectAxis_1")));
    EXPECT_EQ(w->unitsList()->currentIndex(), -1) << "axis 2's units were not read";
    EXPECT_EQ(child<QLabel>(w, QStringLiteral("lblUnits"))->text(), QString());
    EXPECT_EQ(child<QLineEdit>(w, QStringLiteral("txtDefineResolution"))->text(), QStringLiteral("2000"));
    EXPECT_EQ(child<QLineEdit>(w, QStringLiteral("txtMicroStep"))->text(), QStringLiteral("8"));
    EXPECT_TRUE(child<QRadioButton>(w, QStringLiteral("optFeedback_0"))->isChecked());
    rig.takeLines();
    click(child<QPushButton>(w, QStringLiteral("btnResApply")));
    const QStringList sent = rig.takeLines();
    EXPECT_TRUE(sent.filter(QStringLiteral("1SU")).isEmpty()) << sent.join(' ').toStdString();
    EXPECT_TRUE(sent.filter(QStringLiteral("2SN")).isEmpty());
    EXPECT_TRUE(sent.contains(QStringLiteral("2SU2000")));
}

// A motor probe that went unanswered is no "no motor": the axis shows the units it read, greyed
// because which of its values apply depends on the type, and nothing it did not read. A full-step
// size not read shows empty, also in encoder counts, where it is shown divided by the resolution.
TEST(frmSetupUnitsTest, ALostMotorProbeIsNoMotorlessAxisAndAStepSizeNotReadShowsEmpty)
{
    PointLocale point;
    SetupRig rig(SetupRig::Model{"KVL410", 2, 2, 0}, [](SimController& sim) {
        for (int a = 1; a <= 2; ++a) {
            sim.setValue(a, "QM", "2");
            sim.setValue(a, "QS", "4");
            sim.setWord(a, "ZB", 0x100);
        }
        sim.setValue(1, "SN", "2");
        sim.setValue(1, "SU", "0.001");
        sim.setValue(2, "SN", "0");
        sim.setReply("1QM?", "");
        sim.setReply("2FR?", "No data\r\n");
    });
    // Guesses the cache held before: neither may show.
    for (short a = 1; a <= 2; ++a)
        rig.shell.comm()->setStepsize(a, 0.5f);
    frmSetupUnits* w = openUnits(rig);
    ASSERT_NE(w, nullptr);
    QStringList opening = rig.takeLines();
    opening.removeAll(QStringLiteral("VE?")); // the link putting itself back in step
    EXPECT_EQ(opening, (QStringList{"1SN?", "1SU?", "1QM?", "2SN?", "2SU?", "2QM?", "2SN?", "2SU?", "2FR?", "2QS?",
                                    "2ZB?"}));
    EXPECT_EQ(w->axisRow()->shownAxis(), 1);
    EXPECT_EQ(w->unitsList()->currentText(), QStringLiteral("MILLIMETER")) << "the units read, not encoder counts";
    EXPECT_FALSE(w->unitsList()->isEnabled());
    EXPECT_EQ(child<QLineEdit>(w, QStringLiteral("txtDefineResolution"))->text(), QStringLiteral("0.001"));
    EXPECT_FALSE(child<QGroupBox>(w, QStringLiteral("frameDefineResolution"))->isEnabled());
    EXPECT_FALSE(child<QGroupBox>(w, QStringLiteral("framStepper"))->isEnabled());
    for (const char* box : {"txtStepRes", "txtMicroStep"})
        EXPECT_EQ(child<QLineEdit>(w, QLatin1String(box))->text(), QString()) << box;
    EXPECT_FALSE(child<QRadioButton>(w, QStringLiteral("optFeedback_0"))->isChecked());
    EXPECT_FALSE(child<QRadioButton>(w, QStringLiteral("optFeedback_1"))->isChecked());

    click(child<QRadioButton>(w, QStringLiteral("optUnitSelectAxis_1")));
    EXPECT_EQ(w->unitsList()->currentText(), QStringLiteral("ENCODER COUNTS"));
    EXPECT_TRUE(w->unitsList()->isEnabled());
    EXPECT_EQ(child<QLineEdit>(w, QStringLiteral("txtStepRes"))->text(), QString()) << "2FR? went unanswered";
    EXPECT_EQ(child<QLineEdit>(w, QStringLiteral("txtMicroStep"))->text(), QStringLiteral("4"));

    rig.takeLines();
    click(child<QPushButton>(w, QStringLiteral("btnResApply")));
    const QStringList sent = rig.takeLines();
    EXPECT_TRUE(sent.filter(QRegularExpression(QStringLiteral("^1"))).isEmpty()) << sent.join(' ').toStdString();
    EXPECT_TRUE(sent.filter(QStringLiteral("2FR")).isEmpty()) << sent.join(' ').toStdString();
    EXPECT_TRUE(sent.contains(QStringLiteral("2QS4")));
    ASSERT_EQ(rig.prompts().size(), 1);
    EXPECT_TRUE(rig.prompts().at(0).endsWith(QStringLiteral("\r\nAxis 2: FR"))) << rig.prompts().at(0).toStdString();
}
