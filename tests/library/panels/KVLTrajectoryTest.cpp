#include "library/panels/KVLTrajectory.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/DispatchTable.h"
#include "platform/ui/Shell.h"
#include "sim/SimController.h"
#include "tests/support/PanelTestRig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace {

const QStringList kReadOrder{"SN", "TJ", "VU", "AU", "VA", "AC", "AG", "JK", "VB", "KP",
                             "KI", "KD", "KS", "VF", "AF", "DB", "CL", "ZB", "FE"};

QStringList readLines(int axis)
{
    QStringList lines;
    for (const QString& mnemonic : kReadOrder)
        lines << QStringLiteral(" %1%2?\r").arg(axis).arg(mnemonic);
    return lines;
}

// The 18 write lines of an axis: " 0" for every value not given, "00" for the feedback word.
QStringList writeLines(int axis, const QMap<QString, QString>& values = {})
{
    QStringList lines;
    for (const QString& mnemonic : kReadOrder.mid(1)) {
        const QString fallback = mnemonic == QLatin1String("ZB") ? QStringLiteral("00") : QStringLiteral(" 0");
        lines << QStringLiteral(" %1%2%3\r").arg(axis).arg(mnemonic, values.value(mnemonic, fallback));
    }
    return lines;
}

class TrajectoryPanel : public ::testing::Test {
protected:
    // The rig before goes first: it puts the clock and the locale back as it goes.
    void makeRig(int maxAxes, int axesWithMotor = 6)
    {
        host.reset();
        rig.reset();
        rig = std::make_unique<PanelTestRig>(BUS_TYPE_USB, maxAxes);
        rig->sim().setAxisCount(axesWithMotor);
        rig->gui().setMaxFeedbackAxes(short(std::min(maxAxes, 12)));
    }
    void bind()
    {
        host = std::make_unique<QWidget>();
        panel = new KVLTrajectory(host.get());
        host->show();
        panel->setCommControl(&rig->comm());
        rig->clearLines();
    }

    template <class T>
    T* child(const QString& name) const
    {
        T* w = panel->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QLineEdit* box(const QString& name) const { return child<QLineEdit>(name); }
    QRadioButton* pidOption(int i) const { return child<QRadioButton>(QStringLiteral("optPIDSelectAxis_%1").arg(i)); }
    QRadioButton* trajOption(int i) const { return child<QRadioButton>(QStringLiteral("optTrajSelectAxis_%1").arg(i)); }
    QPushButton* button(int i) const { return child<QPushButton>(QStringLiteral("cmdButton_%1").arg(i)); }
    QComboBox* mode() const { return child<QComboBox>(QStringLiteral("cboTrajMode")); }
    QCheckBox* closedLoop() const { return child<QCheckBox>(QStringLiteral("chkCLStpEnable")); }
    bool groupOn(const char* name) const { return child<QGroupBox>(QLatin1String(name))->isEnabled(); }

    // Types into a box as a user does, then leaves it.
    static void type(QLineEdit* edit, const QString& text)
    {
        edit->selectAll();
        QTest::keyClicks(edit, text);
        PanelTestRig::leave(edit);
    }

    KVLComm& comm() { return rig->comm(); }

    std::unique_ptr<PanelTestRig> rig;
    std::unique_ptr<QWidget> host;
    QPointer<KVLTrajectory> panel;
};

TEST_F(TrajectoryPanel, BindingProbesAndReadsEveryAxisThenShowsTheCurrentOneOnBothPages)
{
    makeRig(3, 2);
    SimController& sim = rig->sim();
    sim.setValue(1, "QM", "1");
    sim.setValue(2, "QM", "3");
    for (const auto& [mn, text] : QList<QPair<QByteArray, QByteArray>>{
             {"SN", "2"}, {"TJ", "2"}, {"VU", "100"}, {"VA", "10.5"}, {"KP", "1.5"}, {"DB", "3"}, {"FE", ".25"}})
        sim.setValue(2, mn, text);
    sim.setWord(2, "ZB", 0x120);
    rig->gui().setCurrentAxis(2);

    host = std::make_unique<QWidget>();
    panel = new KVLTrajectory(host.get());
    panel->setCommControl(&comm());

    QStringList expected{"1QM?\r", "2QM?\r", "3QM?\r"};
    for (int axis = 1; axis <= 3; ++axis)
        expected << readLines(axis);
    EXPECT_EQ(rig->lines(), expected);

    EXPECT_EQ(panel->shownAxis(), 2);
    EXPECT_TRUE(pidOption(1)->isChecked());
    EXPECT_TRUE(trajOption(1)->isChecked());
    EXPECT_EQ(box("txtTrajParams_0")->text(), "100.0000");
    EXPECT_EQ(box("txtTrajParams_1")->text(), "10.5000");
    EXPECT_EQ(box("txtPID_0")->text(), "1.5");
    EXPECT_EQ(box("txtCLStpVars_0")->text(), "3");
    EXPECT_EQ(box("txtFollowingErr")->text(), "0.250");
    EXPECT_EQ(mode()->currentText(), "S-Curve");
    EXPECT_EQ(child<QLabel>("lblUnits_0")->text(), "mm/sec");
    EXPECT_EQ(child<QLabel>("lblFollowUnits")->text(), "mm");
    EXPECT_FALSE(closedLoop()->isChecked()); // 0x120 lacks 0x200
    EXPECT_EQ(comm().FeedbackConfig(2), 0x120);

    // Axis 3 has no motor; 4 to 6 lie above MaxAxes.
    EXPECT_TRUE(pidOption(0)->isEnabled());
    for (int i = 2; i < 6; ++i)
        EXPECT_FALSE(pidOption(i)->isEnabled() || trajOption(i)->isEnabled()) << i;

    // Stepper groups follow the motor type: 3 on, 1 off, an unknown type leaves them.
    EXPECT_TRUE(groupOn("frameCLStepper"));
    EXPECT_TRUE(groupOn("framStartStop"));
    trajOption(0)->setChecked(true);
    EXPECT_EQ(rig->gui().CurrentAxis(), 1);
    EXPECT_TRUE(pidOption(0)->isChecked());
    EXPECT_FALSE(groupOn("frameCLStepper"));
    EXPECT_FALSE(groupOn("framStartStop"));
    comm().setMotorType(3, 7);
    pidOption(2)->setChecked(true);
    EXPECT_EQ(rig->gui().CurrentAxis(), 3);
    EXPECT_FALSE(groupOn("frameCLStepper"));
    EXPECT_FALSE(groupOn("framStartStop"));

    // Another window's axis moves both selectors.
    rig->gui().setCurrentAxis(2);
    EXPECT_TRUE(trajOption(1)->isChecked());
    EXPECT_EQ(box("txtTrajParams_1")->text(), "10.5000");
}

TEST_F(TrajectoryPanel, OkWritesEighteenLinesPerAxisKeepingTheFeedbackWordAndCloses)
{
    makeRig(3);
    SimController& sim = rig->sim();
    for (const auto& [mn, text] : QList<QPair<QByteArray, QByteArray>>{
             {"TJ", "1"}, {"VU", "-5"}, {"VA", ".5"}, {"KP", "2.5"}, {"DB", "4"}, {"CL", "1"}, {"FE", "0.1"}})
        sim.setValue(1, mn, text);
    sim.setWord(1, "ZB", 0x120);
    sim.setWord(2, "ZB", 0xFFFF);
    bind();

    PanelTestRig::click(button(1));

    QStringList expected = writeLines(1, {{"TJ", " 1"}, {"VU", "-5"}, {"VA", " .5"}, {"KP", " 2.5"}, {"DB", " 4"},
                                          {"CL", " 1"}, {"ZB", "0120"}, {"FE", " .1"}});
    expected << writeLines(2, {{"ZB", "0FFFF"}}) << writeLines(3);
    EXPECT_EQ(rig->lines(), expected);
    EXPECT_EQ(sim.word(2, "ZB"), 0xFFFFu);
    EXPECT_EQ(sim.word(1, "ZB"), 0x120u);
    EXPECT_FALSE(host->isVisible());
}

TEST_F(TrajectoryPanel, CancelRestoresTheBindingSnapshotEvenAfterApply)
{
    makeRig(1);
    rig->sim().setValue(1, "KP", "1.5");
    bind();

    type(box("txtPID_0"), "3");
    EXPECT_EQ(comm().ProportionalGain(1), 3.0f);
    EXPECT_TRUE(rig->lines().isEmpty()); // edits stay in the cache

    PanelTestRig::click(button(3));
    EXPECT_EQ(rig->lines(), writeLines(1, {{"KP", " 3"}}));
    EXPECT_TRUE(host->isVisible());

    rig->clearLines();
    PanelTestRig::click(button(2));
    EXPECT_EQ(comm().ProportionalGain(1), 1.5f);
    EXPECT_TRUE(rig->lines().isEmpty());
    EXPECT_FALSE(host->isVisible());
}

TEST_F(TrajectoryPanel, WhatCouldNotBeReadIsNeverWrittenBack)
{
    makeRig(2);
    SimController& sim = rig->sim();
    sim.setValue(1, "QM", "2");
    sim.setValue(1, "VU", "25");
    sim.setReply(" 1KP?", QByteArray());     // no answer
    sim.setReply(" 1ZB?", QByteArray());     // no answer
    sim.setReply(" 1VA?", "E\r\n");          // no number
    // What another window read earlier stays.
    comm().setProportionalGain(1, 7.0f);
    comm().setFeedbackConfig(1, 0x340);
    comm().setVelocity(1, 4.0f);
    rig->gui().setCurrentAxis(1);
    bind();

    EXPECT_EQ(comm().ProportionalGain(1), 7.0f);
    EXPECT_EQ(comm().FeedbackConfig(1), 0x340);
    EXPECT_EQ(comm().Velocity(1), 4.0f);
    EXPECT_EQ(comm().MaxVelocity(1), 25.0f);
    // A word never read cannot be ticked: the write would lose the controller's other bits.
    EXPECT_TRUE(groupOn("frameCLStepper"));
    EXPECT_FALSE(closedLoop()->isEnabled());

    PanelTestRig::click(button(3));
    QStringList axis1 = writeLines(1, {{"VU", " 25"}});
    axis1.removeAll(" 1KP 0\r");
    axis1.removeAll(" 1ZB00\r");
    axis1.removeAll(" 1VA 0\r");
    EXPECT_EQ(rig->lines(), axis1 + writeLines(2));

    // An edit makes it the user's value, which is written.
    rig->clearLines();
    type(box("txtPID_0"), "9");
    PanelTestRig::click(button(3));
    EXPECT_EQ(rig->lines().filter(" 1KP"), QStringList{" 1KP 9\r"});

    // Bound with the link closed: nothing is read, so nothing is written either.
    makeRig(2);
    comm().setIntegralGain(2, 0.25f);
    comm().KVLClose();
    bind();
    EXPECT_EQ(comm().IntegralGain(2), 0.25f);
    comm().KVLOpen();
    PanelTestRig::click(button(3));
    EXPECT_TRUE(rig->lines().isEmpty());
}

TEST_F(TrajectoryPanel, FailedWritesKeepThePanelOpenWithTheEdits)
{
    makeRig(1);
    bind();
    type(box("txtPID_0"), "3");

    // Link closed: the panel says so and stays.
    comm().KVLClose();
    PanelTestRig::click(button(1));
    ASSERT_EQ(rig->boxes().count(), 1);
    EXPECT_TRUE(rig->boxes().last().prompt.startsWith("The parameters could not all be written"));
    EXPECT_TRUE(host->isVisible());
    EXPECT_EQ(comm().ProportionalGain(1), 3.0f);

    comm().KVLOpen();
    PanelTestRig::click(button(1));
    EXPECT_TRUE(rig->lines().contains(" 1KP 3\r"));
    EXPECT_FALSE(host->isVisible());

    // Link broken during the write: the failure path reports it; the panel stays.
    makeRig(1);
    bind();
    type(box("txtPID_0"), "4");
    rig->sim().failNext(-2);
    PanelTestRig::click(button(1));
    ASSERT_EQ(rig->boxes().count(), 1);
    EXPECT_TRUE(rig->boxes().last().prompt.startsWith("Error 1001"));
    EXPECT_TRUE(host->isVisible());
    EXPECT_EQ(comm().ProportionalGain(1), 4.0f);
    EXPECT_TRUE(rig->lines().isEmpty());
}

TEST_F(TrajectoryPanel, NothingStartsOrDestroysThePanelWhileItWrites)
{
    makeRig(2);
    bind();
    type(box("txtPID_0"), "3");

    // Clicks arriving while OK writes are refused, Cancel included.
    bool clicked = false;
    QObject::connect(&rig->sim(), &SimController::lineReceived, panel, [&](const QByteArray& line) {
        if (clicked || !line.startsWith(" 1TJ"))
            return;
        clicked = true;
        QTimer::singleShot(0, panel, [this] {
            for (int i = 1; i <= 3; ++i)
                emit button(i)->clicked();
        });
    });
    PanelTestRig::click(button(1));
    EXPECT_TRUE(clicked);
    EXPECT_EQ(rig->lines(), writeLines(1, {{"KP", " 3"}}) + writeLines(2));
    EXPECT_EQ(comm().ProportionalGain(1), 3.0f); // Cancel did not run
    EXPECT_FALSE(host->isVisible());

    // Asked to go in the middle of a write: the write stops, the panel goes afterwards.
    makeRig(2);
    bind();
    QObject::connect(&rig->sim(), &SimController::lineReceived, panel, [this](const QByteArray& line) {
        if (line.startsWith(" 1AU")) {
            panel->deleteLater();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            EXPECT_FALSE(panel.isNull());
        }
    });
    PanelTestRig::click(button(3));
    EXPECT_EQ(rig->lines().size(), 3);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(panel.isNull());
}

TEST_F(TrajectoryPanel, BoxesReadAndShowTheUsersLocaleWhileCommandsKeepThePeriod)
{
    for (const QLocale& locale : {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German, QLocale::Germany)}) {
        makeRig(1);
        QLocale::setDefault(locale);
        const bool comma = locale.decimalPoint() == QLatin1String(",");
        rig->sim().setValue(1, "VA", ".5");
        bind();
        EXPECT_EQ(box("txtTrajParams_1")->text(), comma ? "0,5000" : "0.5000");

        type(box("txtPID_0"), comma ? "2,25" : "2.25");
        type(box("txtFollowingErr"), comma ? "x0,125" : "x0.125");
        EXPECT_EQ(box("txtFollowingErr")->text(), comma ? "0,125" : "0.125"); // cleaned, not reformatted
        EXPECT_EQ(comm().ProportionalGain(1), 2.25f);
        EXPECT_EQ(comm().MaxFollowError(1), 0.125f);

        PanelTestRig::click(button(3));
        EXPECT_EQ(rig->lines(), writeLines(1, {{"VA", " .5"}, {"KP", " 2.25"}, {"FE", " .125"}}));
    }
}

TEST_F(TrajectoryPanel, ServoBoxesShowPlainDecimalsThatSurviveAVisit)
{
    makeRig(1);
    const QList<QPair<QByteArray, QString>> shown{{"KP", "100"},   {"KD", "1000"},     {"KI", "0.00001"},
                                                  {"KS", "32000"}, {"VF", "12345678"}, {"AF", "-0.5"}};
    for (const auto& [mnemonic, text] : shown)
        rig->sim().setValue(1, mnemonic, text.toLatin1());
    bind();
    const QStringList boxes{"txtPID_0", "txtPID_1", "txtPID_2", "txtPID_3", "txtFeedForward_0", "txtFeedForward_1"};
    for (int i = 0; i < boxes.size(); ++i)
        EXPECT_EQ(box(boxes.at(i))->text(), shown.at(i).second) << boxes.at(i).toStdString();

    // Editing the shown text keeps its magnitude: one more digit on 100 is 1001, not 102.
    type(box("txtPID_0"), QStringLiteral("1001"));
    for (const QString& name : boxes.mid(1))
        PanelTestRig::leave(box(name));
    EXPECT_EQ(comm().ProportionalGain(1), 1001.0f);
    EXPECT_EQ(comm().DerivativeGain(1), 1000.0f);
    EXPECT_EQ(comm().IntegralGain(1), 0.00001f);
    EXPECT_EQ(comm().VelocityGain(1), 12345678.0f);
}

TEST_F(TrajectoryPanel, ResizedItFillsItsHostAndLaysOutTabsAndButtons)
{
    makeRig(1);
    bind();
    host->resize(700, 500);
    panel->move(30, 40);
    panel->resize(200, 100);
    QCoreApplication::processEvents();
    EXPECT_EQ(panel->geometry(), QRect(0, 0, 700, 500));
    auto* tabs = child<QWidget>(QStringLiteral("TabStrip1"));
    // The buttons are 375 twips high; 200 twips between the tabs and the host's bottom edge, 100
    // above the buttons.
    EXPECT_EQ(tabs->geometry(), QRect(0, 0, 700, 500 - 25 - 13));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(button(i)->geometry(), QRect(qRound((1435 + 1050 * (i + 1)) / 15.0), tabs->height() + 7, 57, 25))
            << i;
    }
}

TEST_F(TrajectoryPanel, TickAndModeChangeOnlyTheCache)
{
    makeRig(2);
    rig->sim().setValue(1, "QM", "2");
    rig->sim().setWord(1, "ZB", 0x100);
    rig->sim().setValue(2, "QM", "3");
    rig->sim().setWord(2, "ZB", 0x10000);
    rig->sim().setValue(2, "TJ", "2");
    bind();

    ASSERT_TRUE(closedLoop()->isEnabled());
    closedLoop()->click();
    EXPECT_EQ(comm().FeedbackConfig(1), 0x300);
    closedLoop()->click();
    EXPECT_EQ(comm().FeedbackConfig(1), 0x100);

    pidOption(1)->setChecked(true);
    closedLoop()->click();
    EXPECT_EQ(comm().FeedbackConfig(2), 0x10200); // bits above the word's 16 kept
    EXPECT_EQ(mode()->currentText(), "S-Curve");
    emit mode()->activated(4); // "Slave to Feedback"
    EXPECT_EQ(comm().TrajectoryMode(2), 5);
    EXPECT_TRUE(rig->lines().isEmpty());

    PanelTestRig::click(button(3));
    EXPECT_TRUE(rig->lines().contains(" 2ZB010200\r"));
    EXPECT_TRUE(rig->lines().contains(" 2TJ 5\r"));
    EXPECT_TRUE(rig->lines().contains(" 1ZB0100\r"));
}

TEST_F(TrajectoryPanel, OutOfRangeAxesUnitsModesAndTextsLeaveThePanelUsable)
{
    makeRig(9);
    rig->sim().setValue(3, "SN", "15");
    rig->sim().setValue(3, "TJ", "9");
    rig->sim().setValue(3, "KP", "1.5");
    rig->sim().setValue(3, "DB", "12");
    rig->gui().setCurrentAxis(0);

    host = std::make_unique<QWidget>();
    panel = new KVLTrajectory(host.get());
    panel->setCommControl(&comm());
    // The panel serves six axes.
    EXPECT_EQ(rig->lines().filter("QM?").size(), 6);
    EXPECT_EQ(rig->lines().filter("SN?").size(), 6);
    EXPECT_EQ(panel->shownAxis(), 0);
    EXPECT_FALSE(pidOption(0)->isChecked());
    type(box("txtPID_0"), "5"); // no axis shown: no store
    EXPECT_EQ(comm().ProportionalGain(1), 0.0f);

    pidOption(2)->setChecked(true);
    EXPECT_EQ(panel->shownAxis(), 3);
    EXPECT_EQ(mode()->currentIndex(), -1);
    EXPECT_EQ(child<QLabel>("lblUnits_0")->text(), "units/sec");

    type(box("txtPID_0"), "-");
    EXPECT_EQ(box("txtPID_0")->text(), "1.5");
    type(box("txtCLStpVars_0"), "99999");
    EXPECT_EQ(box("txtCLStpVars_0")->text(), "12");
    EXPECT_EQ(comm().ProportionalGain(3), 1.5f);
    EXPECT_EQ(comm().PositionDeadband(3), 12);

    rig->gui().setCurrentAxis(7);
    EXPECT_EQ(panel->shownAxis(), 3);
    EXPECT_TRUE(pidOption(2)->isChecked());

    rig->clearLines();
    PanelTestRig::click(button(3));
    EXPECT_EQ(rig->lines().size(), 6 * 18);
    EXPECT_TRUE(rig->lines().contains(" 3TJ 9\r"));
}

TEST_F(TrajectoryPanel, HelpEventHexReadingAndLateBinding)
{
    makeRig(1);
    QObject* object = platform::createObject(QStringLiteral("KVL410ActiveX.KVLTrajectory"));
    ASSERT_NE(object, nullptr);
    host.reset(qobject_cast<QWidget*>(object));
    panel = qobject_cast<KVLTrajectory*>(object);
    ASSERT_NE(panel, nullptr);

    platform::invoke(panel, 0x68030000, platform::MemberKind::PropertyPut, {QVariant::fromValue<QObject*>(&comm())});
    EXPECT_EQ(panel->commControl(), &comm());

    // Help opens the help file through the shell unless a host handles the event.
    QStringList opened;
    platform::setShellOpenHandler([&](const QString& what) {
        opened << what;
        return true;
    });
    PanelTestRig::click(button(0));
    EXPECT_EQ(opened, QStringList{QCoreApplication::applicationDirPath() + "/MOXTREL.HLP"});
    int help = 0;
    QObject::connect(panel, &KVLTrajectory::HelpClicked, [&] { ++help; });
    PanelTestRig::click(button(0));
    platform::setShellOpenHandler({});
    EXPECT_EQ(help, 1);
    EXPECT_EQ(opened.size(), 1);
    EXPECT_EQ(panel->eventTable(), (QVector<QPair<int, QString>>{{1, QStringLiteral("HelpClicked")}}));

    EXPECT_EQ(panel->Hex2Dec("1AH"), 26);
    EXPECT_EQ(panel->Hex2Dec("10H5"), 16);
    EXPECT_EQ(panel->Hex2Dec("H"), 0);
    EXPECT_EQ(panel->Hex2Dec("1A"), 0);
    EXPECT_EQ(panel->Hex2Dec("FFFFH"), 0xFFFF);
    EXPECT_EQ(panel->Hex2Dec("FFFFFFFFH"), -1);
    EXPECT_EQ(panel->Hex2Dec("123456789H"), 0) << "no word of the controller, and no error";
    EXPECT_EQ(platform::invoke(panel, 0x60030010, platform::MemberKind::Method, {QStringLiteral("120H")}).toInt(), 0x120);
}

} // namespace

namespace {

TEST_F(TrajectoryPanel, AProbeNotAnsweredDisablesNeitherOptionOfItsAxis)
{
    makeRig(3, 2);
    rig->sim().setValue(1, "QM", "3");
    rig->sim().setReply("2QM?", "");
    bind();
    EXPECT_TRUE(pidOption(0)->isEnabled());
    EXPECT_TRUE(pidOption(1)->isEnabled());
    EXPECT_TRUE(trajOption(1)->isEnabled());
    EXPECT_FALSE(pidOption(2)->isEnabled() || trajOption(2)->isEnabled()) << "axis 3 answered: no motor";
    EXPECT_EQ(comm().MotorType(1), 3);
}

} // namespace

namespace {

TEST_F(TrajectoryPanel, ValuesAndAMotorTypeNotReadShowAsUnread)
{
    makeRig(2);
    SimController& sim = rig->sim();
    sim.setReply("1QM?", QByteArray());
    sim.setValue(2, "QM", "3");
    sim.setValue(1, "VU", "25");
    for (const char* lost : {" 1KP?", " 1TJ?", " 1ZB?", " 1SN?", " 1FE?", " 1DB?"})
        sim.setReply(lost, QByteArray());
    // Guesses the cache held before: none of them is shown.
    comm().setMotorType(1, 2);
    comm().setProportionalGain(1, 7.0f);
    comm().setTrajectoryMode(1, 2);
    comm().setFeedbackConfig(1, 0x200);
    comm().setDisplacementUnits(1, 2);
    rig->gui().setCurrentAxis(1);
    bind();

    EXPECT_EQ(box("txtPID_0")->text(), "");
    EXPECT_EQ(box("txtFollowingErr")->text(), "");
    EXPECT_EQ(box("txtCLStpVars_0")->text(), "");
    EXPECT_EQ(box("txtTrajParams_0")->text(), "25.0000");
    EXPECT_EQ(mode()->currentIndex(), -1);
    EXPECT_EQ(closedLoop()->checkState(), Qt::PartiallyChecked);
    EXPECT_FALSE(closedLoop()->isEnabled());
    EXPECT_EQ(child<QLabel>("lblUnits_0")->text(), "units/sec");
    EXPECT_EQ(child<QLabel>("lblFollowUnits")->text(), "Units");
    // No stepper group from a type nobody read; the axis stays selectable.
    EXPECT_FALSE(groupOn("frameCLStepper"));
    EXPECT_FALSE(groupOn("framStartStop"));
    EXPECT_TRUE(pidOption(0)->isEnabled());

    // Leaving an empty box puts no number into it and nothing into the cache.
    PanelTestRig::leave(box("txtPID_0"));
    EXPECT_EQ(box("txtPID_0")->text(), "");
    EXPECT_EQ(comm().ProportionalGain(1), 7.0f);

    // Axis 2 was read: a stepper, its groups on, its values and word shown.
    pidOption(1)->setChecked(true);
    EXPECT_TRUE(groupOn("frameCLStepper"));
    EXPECT_TRUE(groupOn("framStartStop"));
    EXPECT_EQ(box("txtPID_0")->text(), "0");
    EXPECT_EQ(closedLoop()->checkState(), Qt::Unchecked);
    EXPECT_TRUE(closedLoop()->isEnabled());
    EXPECT_EQ(child<QLabel>("lblFollowUnits")->text(), "counts");

    // Back on axis 1 a typed value is the user's: shown and written.
    pidOption(0)->setChecked(true);
    EXPECT_EQ(box("txtPID_0")->text(), "");
    type(box("txtPID_0"), "9");
    EXPECT_EQ(box("txtPID_0")->text(), "9");
    rig->clearLines();
    PanelTestRig::click(button(3));
    EXPECT_EQ(rig->lines().filter(" 1KP"), QStringList{" 1KP 9\r"});
    EXPECT_TRUE(rig->lines().filter(" 1TJ").isEmpty());

    // In demo mode nothing is read and nothing is sent: the cache is shown as it stands.
    makeRig(1);
    comm().setProportionalGain(1, 7.0f);
    comm().setTrajectoryMode(1, 2);
    rig->gui().setCurrentAxis(1);
    rig->goDemo();
    bind();
    EXPECT_EQ(box("txtPID_0")->text(), "7");
    EXPECT_EQ(mode()->currentText(), "S-Curve");
}

} // namespace
