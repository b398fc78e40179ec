#include "library/panels/KVLError.h"
#include "library/panels/KVLJog.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "sim/SimController.h"
#include "sim/SimPtyThread.h"
#include "tests/support/MsgBoxRecorder.h"
#include "tests/support/PanelTestRig.h"

#include <QLineEdit>
#include <gtest/gtest.h>

#include <memory>

namespace {

// The panels on the simulated controller behind a serial port (a pseudo-terminal).
TEST(SerialPanels, JogAndErrorPanelOverRs232)
{
    MsgBoxRecorder boxes;
    SimPtyThread pty;
    ASSERT_TRUE(pty.isOpen());
    qputenv("KVL_COM8", pty.slavePath().toLocal8Bit());
    auto comm = std::make_unique<KVLComm>();
    comm->setBusType(BUS_TYPE_RS232);
    comm->setCommPort(8);
    comm->setSettings(QStringLiteral("19200,n,8,1"));
    ASSERT_EQ(comm->KVLInit(), 0);
    ASSERT_EQ(comm->KVLOpen(), 0);
    comm->GetGuiStateObject()->setMaxAxes(2);
    auto lines = [&] {
        QList<QByteArray> raw;
        pty.with([&](SimController& s) { raw = s.rawLines(); });
        return raw;
    };
    pty.with([](SimController& s) {
        s.clearLog();
        s.setValue(1, "SN", "2");
    });

    KVLJog jog;
    jog.show();
    jog.setCommControl(comm.get());
    EXPECT_EQ(lines(), (QList<QByteArray>{"1QM?\r", "2QM?\r", " 1SN?\r", " 1VA?\r", " 2SN?\r", " 2VA?\r"}));

    pty.with([](SimController& s) { s.clearLog(); });
    jog.findChild<QLineEdit*>(QStringLiteral("txtSpeed_0"))->setText(QStringLiteral("2"));
    QWidget* plusX = jog.findChild<QWidget*>(QStringLiteral("btnJog_1"));
    PanelTestRig::press(plusX);
    PanelTestRig::release(plusX);
    EXPECT_EQ(lines(), (QList<QByteArray>{"1MD?\r", "1VA 2\r", "1MO\r", "1MV+\r", "1ST\r", "1MD?\r"}));

    KVLError errors;
    errors.setCommControl(comm.get());
    pty.with([](SimController& s) { s.pushError(12, "LIMIT"); });
    for (int i = 0; i < KVLError::PollDivisor; ++i)
        emit comm->Timer();
    EXPECT_EQ(errors.ListText(), QStringLiteral("12,  LIMIT\r\n "));
    EXPECT_EQ(boxes.count(), 0);

    comm.reset();
    qunsetenv("KVL_COM8");
}

} // namespace
