#include "library/link/KVLComm.h"

#include "library/link/CGuiState.h"
#include "sim/SimController.h"
#include "sim/SimDevice.h"
#include "tests/support/MsgBoxRecorder.h"

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
