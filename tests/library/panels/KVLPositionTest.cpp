#include "library/panels/KVLPosition.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "platform/com/ClassRegistry.h"
#include "sim/SimController.h"
#include "tests/support/PanelTestRig.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QCheckBox* box(KVLPosition& p, int i)
{
    return p.findChild<QCheckBox*>(QStringLiteral("chkSelectAxis_%1").arg(i));
}
QGroupBox* row(KVLPosition& p, int i)
{
    return p.findChild<QGroupBox*>(QStringLiteral("framAxisPos_%1").arg(i));
}
QString readOut(KVLPosition& p, int i)
{
    return p.findChild<QLabel*>(QStringLiteral("numAxisPos_%1").arg(i))->text();
}
int px(int twips)
{
    return PanelBase::twips(0, 0, 0, twips).height();
}
int topPx(int twips)
{
    return PanelBase::twips(0, twips).top();
}

TEST(PositionPanel, WithNoBusLaysOutSixSelectableRows)
{
    PanelTestRig rig;
    rig.goDemo();
    rig.gui().setMaxFeedbackAxes(4);
    KVLPosition position;
    position.show();
    QSignalSpy resized(&position, &KVLPosition::Resize);
    position.setCommControl(&rig.comm());

    EXPECT_GE(resized.count(), 1);
    EXPECT_EQ(position.height(), px(940));
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(box(position, i)->isVisible(), i < 6) << "box " << i;
        EXPECT_FALSE(row(position, i)->isVisible());
    }
    resized.clear();
    box(position, 1)->setChecked(true);
    EXPECT_EQ(resized.count(), 1);
    EXPECT_TRUE(row(position, 1)->isVisible());
    EXPECT_EQ(row(position, 1)->geometry().top(), topPx(550));
    EXPECT_EQ(position.height(), px(2000));
    // A row above MaxFeedbackAxes keeps its designed read-out.
    box(position, 5)->setChecked(true);
    EXPECT_EQ(readOut(position, 5), QStringLiteral("DEMOMODE"));
    rig.tick(3);
    EXPECT_TRUE(rig.lines().isEmpty());
}

TEST(PositionPanel, SetUpReadsUnitsAndPositionsTicksMotorsAndPacksTheRows)
{
    PanelTestRig rig(BUS_TYPE_USB, 4);
    rig.gui().setMaxFeedbackAxes(5);
    rig.sim().setAxisCount(4);
    rig.sim().setReply("2QM?", "0\r\n");
    rig.sim().setValue(1, "SN", "2");
    rig.sim().setValue(3, "SN", "14");
    rig.sim().setPosition(3, 12.5);
    KVLPosition position;
    position.show();
    platform::invoke(&position, 0x68030000, platform::MemberKind::PropertyPut,
                     {QVariant::fromValue<QObject*>(&rig.comm())});

    EXPECT_EQ(rig.lines(), (QStringList{"1SN?\r", "1TP\r", "2SN?\r", "2TP\r", "3SN?\r", "3TP\r", "4SN?\r", "4TP\r",
                                        "5SN?\r", "5TP\r", "1QM?\r", "2QM?\r", "3QM?\r", "4QM?\r"}));
    EXPECT_EQ(position.findChild<QLabel*>(QStringLiteral("lblPos_0"))->text(), QStringLiteral("mm"));
    EXPECT_EQ(position.findChild<QLabel*>(QStringLiteral("lblPos_1"))->text(), QStringLiteral("counts"));
    EXPECT_EQ(position.findChild<QLabel*>(QStringLiteral("lblPos_2"))->text(), QStringLiteral("units"));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(readOut(position, i), i == 2 ? QStringLiteral("12.500") : QStringLiteral("0.000"));
    EXPECT_EQ(readOut(position, 5), QStringLiteral("DEMOMODE"));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(box(position, i)->isVisible(), i < 5) << "box " << i;

    // Rows 1, 3 and 4 shown, packed from the top.
    EXPECT_FALSE(row(position, 1)->isVisible());
    EXPECT_EQ(row(position, 0)->geometry().top(), topPx(550));
    EXPECT_EQ(row(position, 2)->geometry().top(), topPx(1525));
    EXPECT_EQ(row(position, 3)->geometry().top(), topPx(2500));
    EXPECT_EQ(position.height(), px(3950));

    // Every tick polls the shown rows and shows the controller's own text.
    rig.clearLines();
    rig.tick();
    EXPECT_EQ(rig.lines(), (QStringList{"1TP\r", "3TP\r", "4TP\r"}));
    EXPECT_EQ(readOut(position, 2), QStringLiteral("12.5000"));
    EXPECT_EQ(readOut(position, 0), QStringLiteral("0.0000"));

    // Binding again polls at once, the panel being initialised.
    rig.clearLines();
    position.setCommControl(&rig.comm());
    EXPECT_EQ(rig.lines().mid(14), (QStringList{"1TP\r", "3TP\r", "4TP\r"}));
}

TEST(PositionPanel, ARowNeverShowsAnotherAxisPosition)
{
    PanelTestRig rig(BUS_TYPE_USB, 3);
    rig.gui().setMaxFeedbackAxes(3);
    rig.sim().setPosition(1, 7);
    rig.sim().setPosition(2, 8);
    rig.sim().setPosition(3, 9);
    KVLPosition position;
    position.setCommControl(&rig.comm());
    rig.tick();
    EXPECT_EQ(readOut(position, 1), QStringLiteral("8.0000"));

    // Axis 2 stops answering: its row keeps its own last reading, not axis 1's.
    rig.sim().setReply("2TP", "");
    rig.sim().setPosition(1, 17);
    rig.sim().setPosition(3, 19);
    rig.tick();
    EXPECT_EQ(readOut(position, 0), QStringLiteral("17.0000"));
    EXPECT_EQ(readOut(position, 1), QStringLiteral("8.0000"));
    EXPECT_EQ(readOut(position, 2), QStringLiteral("19.0000"));

    // A line that is no finite number is shown as unread, never as a position; a line holding a
    // NUL is no reply at all, so its row keeps its own last reading; a number is shown as the
    // controller wrote it.
    rig.sim().setReply("1TP", "NaN\r\n");
    rig.sim().setReply("2TP", "1e309\r\n");
    rig.sim().setReply("3TP", QByteArray("1.1\0" "111\r\n", 9));
    rig.tick();
    EXPECT_EQ(readOut(position, 0), QString());
    EXPECT_EQ(readOut(position, 1), QString());
    EXPECT_EQ(readOut(position, 2), QStringLiteral("19.0000"));
    rig.sim().setReply("1TP", "\xb9" "2.5\r\n");
    rig.sim().setReply("2TP", " -2.5000\r\n");
    rig.sim().setReply("3TP", "1.5E+3\r\n");
    rig.tick();
    EXPECT_EQ(readOut(position, 0), QString());
    EXPECT_EQ(readOut(position, 1), QStringLiteral(" -2.5000"));
    EXPECT_EQ(readOut(position, 2), QStringLiteral("1.5E+3"));
}

TEST(PositionPanel, ProbeStopsAtEightRowsAndZeroDefinesHome)
{
    PanelTestRig rig(BUS_TYPE_USB, 12);
    rig.gui().setMaxFeedbackAxes(12);
    rig.sim().setAxisCount(12);
    KVLPosition position;
    position.setCommControl(&rig.comm());
    for (const QString& line : rig.lines())
        EXPECT_FALSE(line.startsWith(QLatin1Char('9')) || (line.startsWith(QStringLiteral("1")) && line.at(1).isDigit()))
            << "beyond the eighth row: " << line.toStdString();
    EXPECT_EQ(rig.count(QStringLiteral("8QM?\r")), 1);
    EXPECT_TRUE(box(position, 7)->isChecked());

    rig.sim().setPosition(3, 4);
    rig.clearLines();
    PanelTestRig::click(position.findChild<QPushButton*>(QStringLiteral("btnAxisZero_2")));
    EXPECT_EQ(rig.lines(), QStringList{"3DH0\r"});
    EXPECT_EQ(rig.sim().position(3), 0.0);
    EXPECT_EQ(readOut(position, 2), QStringLiteral("0.000")) << "the read-out follows on the next poll";

    // A closed link sends nothing and zeroes nothing: the row keeps its reading.
    rig.tick();
    EXPECT_EQ(readOut(position, 2), QStringLiteral("0.0000"));
    rig.comm().KVLClose();
    rig.clearLines();
    PanelTestRig::click(position.findChild<QPushButton*>(QStringLiteral("btnAxisZero_7")));
    rig.tick();
    EXPECT_TRUE(rig.lines().isEmpty());
    EXPECT_EQ(readOut(position, 7), QStringLiteral("0.0000"));
    EXPECT_EQ(position.eventTable(), (QVector<QPair<int, QString>>{{1, QStringLiteral("Resize")}}));
}

} // namespace

// A row whose query the link did not send (the line could not be put back in step) is read first
// on the next tick, not passed over. The ticks are the link's own, each a burst.
TEST(PositionPanel, ARowWhoseQueryWasNotSentIsReadFirstNextTime)
{
    PanelTestRig rig(BUS_TYPE_USB, 3);
    rig.gui().setMaxFeedbackAxes(3);
    KVLPosition position;
    position.setCommControl(&rig.comm());
    auto* timer = rig.comm().findChild<QTimer*>(QStringLiteral("Timer1"));
    ASSERT_NE(timer, nullptr);
    const auto tick = [timer] { QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection); };
    rig.sim().setReply("2TP", "");
    rig.clearLines();
    tick();
    EXPECT_EQ(rig.lines(), (QStringList{"1TP\r", "2TP\r"}));

    // The identification goes unanswered: the line stays out of step and row 3 is not asked.
    rig.sim().setReply("VE?", "");
    rig.clearLines();
    tick();
    EXPECT_EQ(rig.lines(), QStringList{"VE?\r\n"});

    rig.sim().setReply("VE?", "KVL410 Version 2.0\r\n");
    rig.sim().setReply("2TP", "2.0000\r\n");
    rig.clearLines();
    tick();
    EXPECT_EQ(rig.lines().mid(0, 2), (QStringList{"VE?\r\n", "3TP\r"}));
}

// Each axis answers with values of its own, so a row showing another axis's value shows up.
TEST(PositionPanel, ARowShowsNothingItDidNotRead)
{
    PanelTestRig rig(BUS_TYPE_USB, 3);
    rig.gui().setMaxFeedbackAxes(3);
    SimController& sim = rig.sim();
    sim.setValue(1, "SN", "2");
    sim.setValue(3, "SN", "3");
    sim.setPosition(1, 7);
    sim.setPosition(2, 8);
    sim.setPosition(3, 9);
    sim.setReply("2SN?", "");
    sim.setReply("2TP", "");
    sim.setReply("3QM?", "");
    KVLPosition position;
    position.show();
    position.setCommControl(&rig.comm());
    // Row 2 shows no position and keeps its designed unit caption; row 3's lost probe hides it not.
    EXPECT_EQ(readOut(position, 0), QStringLiteral("7.000"));
    EXPECT_EQ(readOut(position, 1), QString());
    EXPECT_EQ(readOut(position, 2), QStringLiteral("9.000"));
    EXPECT_EQ(position.findChild<QLabel*>(QStringLiteral("lblPos_1"))->text(), QStringLiteral("units"));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(box(position, i)->isChecked()) << i;

    // Bound again with row 1's reads lost: it keeps its own reading, not another row's or a zero.
    sim.clearReplies();
    rig.tick();
    const QString first = readOut(position, 0);
    EXPECT_EQ(first, QStringLiteral("7.0000"));
    sim.setReply("1SN?", "");
    sim.setReply("1TP", "");
    sim.setPosition(2, 18);
    position.setCommControl(&rig.comm());
    EXPECT_EQ(readOut(position, 0), first);
    EXPECT_EQ(readOut(position, 1), QStringLiteral("18.0000")) << "polled at once on binding again";
    EXPECT_EQ(position.findChild<QLabel*>(QStringLiteral("lblPos_0"))->text(), QStringLiteral("mm"));
    EXPECT_EQ(rig.boxes().count(), 0);
}
