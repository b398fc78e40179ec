#include "library/link/KVLComm.h"

#include "library/link/CGuiState.h"
#include "sim/SimController.h"
#include "sim/SimDevice.h"
#include "tests/support/MsgBoxRecorder.h"
#include "tests/support/PanelTestRig.h"

#include <gtest/gtest.h>

TEST(KVLCommTransfers, DemoModeReadsZeroAndSendsNothing)
{
    MsgBoxRecorder boxes;
    KVLComm comm;
    ASSERT_EQ(comm.KVLInit(), 0);
    ASSERT_EQ(comm.BusType(), BUS_TYPE_NONE);

    comm.setFollowingErrorConfig(2, 5);
    comm.setPosTravelLimit(2, 5);
    comm.setSystemConfiguration(1, 5);
    comm.setMotorType(2, 3);
    comm.GetConfigs(2);
    EXPECT_EQ(comm.FollowingErrorConfig(2), 0);
    EXPECT_EQ(comm.PosTravelLimit(2), 0.0);
    EXPECT_EQ(comm.SystemConfiguration(1), 0);

    comm.setMotorType(2, 3);
    EXPECT_EQ(comm.MtrType(2), 0);
    EXPECT_EQ(comm.MotorType(2), 3);
    short axis = 2;
    EXPECT_EQ(comm.ReadAllMotionParams(axis), 0);
    EXPECT_EQ(comm.UpdateAxorn(2), 0);
    EXPECT_EQ(boxes.count(), 0);

    // The cache and its snapshot share the control's one GUI state.
    comm.GetGuiStateObject()->setMaxFeedbackAxes(2);
    comm.setDacOffset(2, 1.5f);
    comm.StoreCurrentAxisState();
    comm.setDacOffset(2, 0);
    comm.RestoreOldAxisState();
    EXPECT_EQ(comm.DacOffset(2), 1.5f);
}

TEST(KVLCommTransfers, WordsTravelUnchangedThroughTheController)
{
    MsgBoxRecorder boxes;
    SimDevice device;
    device.installOnUsb(0);
    {
        KVLComm comm;
        comm.setBusType(BUS_TYPE_USB);
        ASSERT_EQ(comm.KVLInit(), 0);
        ASSERT_EQ(comm.KVLOpen(), 0);
        device.controller().clearLog();

        comm.setHardLimitConfig(1, 0x8000);
        comm.setEStopConfig(1, -1);
        comm.setPosTravelLimit(1, 12.5);
        comm.setMotorType(1, 2);
        comm.WriteAllConfig(1);
        // Only what the host set goes out.
        EXPECT_EQ(device.controller().lines(), (QList<QByteArray>{"1ZH08000", "1ZE0FFFFFFFF", "1QM2", "1SR12.5"}));
        EXPECT_EQ(device.controller().word(1, "ZH"), 0x8000u);

        comm.setHardLimitConfig(1, 0);
        comm.setEStopConfig(1, 0);
        comm.setPosTravelLimit(1, 0);
        comm.GetConfigs(1);
        EXPECT_EQ(comm.HardLimitConfig(1), 0x8000);
        EXPECT_EQ(comm.EStopConfig(1), -1);
        EXPECT_EQ(comm.PosTravelLimit(1), 12.5);
        EXPECT_EQ(comm.MtrType(1), 2);
    }
    device.uninstall();
}

TEST(KVLCommTransfers, ControllerNumbersTheFieldsCannotHoldAreKeptOut)
{
    MsgBoxRecorder boxes;
    SimDevice device;
    device.installOnUsb(0);
    KVLComm comm;
    comm.setBusType(BUS_TYPE_USB);
    ASSERT_EQ(comm.KVLInit(), 0);
    ASSERT_EQ(comm.KVLOpen(), 0);
    device.controller().setReply("1SN?", "40000\r\n");
    device.controller().setReply("1ZB?", "123456789H\r\n");
    device.controller().setReply("1QM?", "99999\r\n");
    comm.setDisplacementUnits(1, 2);
    comm.setFeedbackConfig(1, 0x120);
    short axis = 1;
    comm.GetUnitsConfigs(axis);
    EXPECT_EQ(comm.DisplacementUnits(1), 2);
    EXPECT_EQ(comm.FeedbackConfig(1), 0x120);
    EXPECT_EQ(comm.MtrType(1), MotionParameterCache::MotorTypeNotRead);
    EXPECT_EQ(comm.ReadAllMotionParams(axis), -2);
    EXPECT_TRUE(comm.IsOpen());
    EXPECT_EQ(boxes.count(), 0);
}

namespace {

QStringList crLines(std::initializer_list<const char*> texts)
{
    QStringList result;
    for (const char* t : texts)
        result << QString::fromLatin1(t) + QLatin1Char('\r');
    return result;
}

} // namespace

TEST(KVLCommTransfers, AnAnswerLostInEachTransferKeepsTheValueUnknownAndOutOfTheWriteBack)
{
    PanelTestRig rig(BUS_TYPE_USB, 2);
    SimController& sim = rig.sim();
    KVLComm& comm = rig.comm();
    sim.setWord(0, "ZZ", 0x10);
    sim.setWord(1, "ZB", 0x120);
    sim.setValue(1, "QM", "2");
    sim.setValue(1, "SR", "12.5");
    sim.setValue(1, "SL", "-12.5");
    sim.setValue(1, "QS", "10");
    sim.setValue(1, "FR", "0.25");
    sim.setValue(1, "SN", "2");
    sim.setValue(1, "SU", "0.5");
    sim.setValue(1, "VA", "3.5");
    // What the cache held before: kept where the answer is lost, but never sent.
    comm.setMotorType(1, 3);
    comm.setDisplacementUnits(1, 4);
    comm.setProportionalGain(1, 7);

    sim.setReply("1QM?", QByteArray());
    comm.GetConfigs(1);
    EXPECT_EQ(comm.MotorType(1), 3);
    EXPECT_FALSE(comm.ParameterKnown(1, "MotorType"));
    EXPECT_EQ(comm.SkippedParameters(), QStringList{"MotorType"});
    EXPECT_EQ(comm.MtrType(1), MotionParameterCache::MotorTypeNotRead) << "never 0, no motor";
    EXPECT_EQ(comm.FeedbackConfig(1), 0x120);
    rig.clearLines();
    comm.WriteAllConfig(1);
    EXPECT_EQ(rig.lines(), crLines({"ZZ010", "1ZF00", "1ZH00", "1ZS00", "1ZA00", "1ZB0120", "1ZE00", "1SR12.5",
                                    "1SL-12.5", "1QS10", "1FR0.25"}));
    EXPECT_EQ(comm.SkippedParameters(), QStringList{"MotorType"});

    sim.clearReplies();
    sim.setReply("1SN?", QByteArray());
    short axis = 1;
    comm.GetUnitsConfigs(axis);
    EXPECT_EQ(comm.DisplacementUnits(1), 4);
    rig.clearLines();
    comm.SetUnitsConfigs(axis);
    EXPECT_EQ(rig.lines(), crLines({"1SU0.5", "1FR0.25", "1QS10", "1ZB0120"}));
    EXPECT_EQ(comm.SkippedParameters(), QStringList{"DisplacementUnits"});

    sim.clearReplies();
    sim.setReply("1SU?", QByteArray());
    comm.GetDisplacementEncoderConfigs(axis);
    rig.clearLines();
    comm.SetDisplacementEncoderConfigs(axis);
    EXPECT_EQ(rig.lines(), crLines({"1SN2"}));

    sim.clearReplies();
    sim.setReply("1KP?", QByteArray());
    EXPECT_EQ(comm.ReadAllMotionParams(axis), -2);
    EXPECT_EQ(comm.ProportionalGain(1), 7.0f);
    EXPECT_FALSE(comm.ParameterKnown(1, "ProportionalGain"));
    EXPECT_TRUE(comm.ParameterKnown(1, "Velocity"));
    EXPECT_EQ(comm.Velocity(1), 3.5f);
    EXPECT_EQ(comm.SkippedParameters(), QStringList{"ProportionalGain"});

    // The undo gives back what was known with the values: a guess restored stays a guess.
    comm.GetGuiStateObject()->setMaxFeedbackAxes(1);
    comm.StoreCurrentAxisState();
    comm.setMotorType(1, 1);
    EXPECT_TRUE(comm.ParameterKnown(1, "MotorType"));
    comm.RestoreOldAxisState();
    EXPECT_EQ(comm.MotorType(1), 3);
    EXPECT_FALSE(comm.ParameterKnown(1, "MotorType"));
    EXPECT_TRUE(comm.ParameterKnown(1, "FeedbackConfig"));
    EXPECT_EQ(rig.boxes().count(), 0);
}

TEST(KVLCommTransfers, AReplyHoldingAControlByteIsNoValueToWriteBack)
{
    PanelTestRig rig(BUS_TYPE_PCI, 4);
    rig.sim().setValue(4, "FR", "0.5");
    rig.sim().setReply("4FR?", QByteArray("0.5\x01\r\n"));
    rig.comm().setStepsize(4, 2.5f);
    rig.comm().GetConfigs(4);
    EXPECT_EQ(rig.comm().Stepsize(4), 2.5f);
    rig.clearLines();
    rig.comm().WriteAllConfig(4);
    EXPECT_TRUE(rig.lines().filter("FR").isEmpty()) << rig.lines().join(',').toStdString();
    EXPECT_EQ(rig.lines().size(), 11);
}

TEST(KVLCommTransfers, DemoModeShowsZerosThatNoLinkOpenedLaterReceives)
{
    PanelTestRig rig(BUS_TYPE_USB, 2);
    KVLComm& comm = rig.comm();
    rig.goDemo();
    comm.setMotorType(1, 2);
    comm.setFeedbackConfig(1, 0x120);
    comm.setVelocity(1, 4);
    comm.GetConfigs(1);
    short axis = 1;
    comm.GetUnitsConfigs(axis);
    EXPECT_EQ(comm.ReadAllMotionParams(axis), 0);
    EXPECT_EQ(comm.MtrType(1), 0);
    EXPECT_EQ(comm.MotorType(1), 0);
    EXPECT_EQ(comm.FeedbackConfig(1), 0);
    EXPECT_EQ(comm.Velocity(1), 0.0f);
    EXPECT_FALSE(comm.ParameterKnown(1, "MotorType"));
    comm.WriteAllConfig(1);
    comm.SetUnitsConfigs(axis);
    comm.SetDisplacementEncoderConfigs(axis);
    EXPECT_TRUE(rig.lines().isEmpty());

    // The link opens on a bus: the demo zeros are still nobody's values.
    comm.setBusType(BUS_TYPE_USB);
    ASSERT_EQ(comm.KVLInit(), 0);
    ASSERT_EQ(comm.KVLOpen(), 0);
    rig.clearLines();
    comm.WriteAllConfig(1);
    comm.SetUnitsConfigs(axis);
    EXPECT_TRUE(rig.lines().isEmpty());
    EXPECT_EQ(comm.SkippedParameters().size(), 5);
    EXPECT_EQ(rig.boxes().count(), 0);
}
