#include "library/panels/KVLError.h"

#include "library/link/KVLComm.h"
#include "platform/RuntimeError.h"
#include "platform/com/DispatchTable.h"
#include "platform/kernel/Clock.h"
#include "sim/SimController.h"
#include "tests/support/PanelTestRig.h"

#include <QPushButton>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <memory>

namespace {

class ErrorPanel : public ::testing::Test {
protected:
    void SetUp() override
    {
        rig = std::make_unique<PanelTestRig>();
        panel = std::make_unique<KVLError>();
        panel->setCommControl(&rig->comm());
        detected = std::make_unique<QSignalSpy>(panel.get(), &KVLError::ErrorsDetected);
    }

    // The controller answers "TB" with these replies in turn, then from its own buffer.
    void script(const QList<QByteArray>& replies)
    {
        scripted = replies;
        QObject::connect(&rig->sim(), &SimController::lineReceived, &rig->sim(), [this](const QByteArray& line) {
            if (line != "TB")
                return;
            if (scripted.isEmpty())
                rig->sim().clearReplies();
            else
                rig->sim().setReply("TB", scripted.takeFirst());
        });
    }

    std::unique_ptr<PanelTestRig> rig;
    std::unique_ptr<KVLError> panel;
    std::unique_ptr<QSignalSpy> detected;
    QList<QByteArray> scripted;
};

TEST_F(ErrorPanel, PollsOnEveryFourthTickUntilTheBufferIsEmpty)
{
    rig->tick(3);
    EXPECT_TRUE(rig->lines().isEmpty());
    rig->tick();
    EXPECT_EQ(rig->lines(), QStringList{QStringLiteral("TB\r")});
    EXPECT_EQ(panel->ListText(), QString());
    EXPECT_EQ(detected->count(), 0);

    rig->sim().pushError(1, "A");
    rig->sim().pushError(2, "B");
    rig->sim().pushError(3, "C");
    rig->clearLines();
    rig->tick(3);
    EXPECT_TRUE(rig->lines().isEmpty());
    rig->tick();
    EXPECT_EQ(rig->lines().size(), 4);
    EXPECT_EQ(detected->count(), 3);
    EXPECT_EQ(panel->ListText(), QStringLiteral("1,  A\r\n 2,  B\r\n 3,  C\r\n "));
}

TEST_F(ErrorPanel, OddRepliesAreListedWhole)
{
    script({"35, 1234, TEXT\r\n", "36, 1, AXIS 1, LIMIT\r\n", "37,5\r\n", "99999999999, 5, BIG\r\n",
            "38, 5, NO END", "0, 5, NONE\r\n"});
    rig->tick(4);
    EXPECT_EQ(detected->count(), 5);
    EXPECT_EQ(panel->ListText(), QStringLiteral("35,  TEXT\r\n "
                                                "36,  AXIS 1, LIMIT\r\n "
                                                "37, \r\n"
                                                "99999999999,  BIG\r\n "
                                                "38,  NO END\r\n"));
}

TEST_F(ErrorPanel, AnswerWithoutCommaAndNoAnswer)
{
    script({"garbage\r\n"});
    rig->tick(4);
    EXPECT_EQ(panel->ListText(), QStringLiteral("Initialize system failed!  Please check comm settings.\r\n"));
    EXPECT_EQ(detected->count(), 1);
    EXPECT_EQ(rig->lines().size(), 1);

    // No answer: that poll is lost, not the link, and a waiting host message is still shown.
    panel->setErrorMsg(QStringLiteral("host"));
    rig->sim().setSilent(true);
    rig->tick(4);
    EXPECT_EQ(rig->boxes().count(), 0);
    EXPECT_TRUE(rig->comm().IsOpen());
    // A controller that stays silent breaks the link once, as any silent line does.
    for (int i = 0; i < 12 && rig->comm().IsOpen(); ++i)
        rig->tick(4);
    ASSERT_EQ(rig->boxes().count(), 1);
    EXPECT_TRUE(rig->boxes().last().prompt.startsWith(QStringLiteral("Error 1001 ")));
    EXPECT_FALSE(rig->comm().IsOpen());
    EXPECT_TRUE(panel->ListText().startsWith(QStringLiteral("host\r\nInitialize")));
}

TEST_F(ErrorPanel, OnePollReadsABoundedNumberOfErrors)
{
    rig->sim().setReply("TB", "5, 1, AGAIN\r\n");
    rig->tick(4);
    EXPECT_EQ(rig->lines().size(), KVLError::MaxErrorsPerPoll);
    EXPECT_EQ(detected->count(), KVLError::MaxErrorsPerPoll);
}

TEST_F(ErrorPanel, HostMessagesAreShownOldestFirstWhateverTheLink)
{
    script({"7, 1, OLD\r\n"});
    rig->tick(4);
    panel->setErrorMsg(QStringLiteral("A"));
    panel->setErrorMsg(QStringLiteral("B"));
    rig->tick(4);
    EXPECT_EQ(panel->ListText(), QStringLiteral("A\r\nB\r\n7,  OLD\r\n "));

    // Demo mode: no poll of the controller, the messages still show.
    rig->goDemo();
    rig->clearLines();
    panel->setErrorMsg(QStringLiteral("C"));
    rig->tick(4);
    EXPECT_TRUE(panel->ListText().startsWith(QStringLiteral("C\r\nA\r\n")));
    EXPECT_TRUE(rig->lines().isEmpty());

    // With the timer running a message waits for the poll; a broken link stops the timer, and
    // the message comes without one.
    rig->comm().setTimerEnabled(true);
    panel->setErrorMsg(QStringLiteral("D"));
    platform::Clock::pumpOnce();
    EXPECT_TRUE(panel->ListText().startsWith(QStringLiteral("C\r\n")));
    platform::RuntimeError broken = platform::RuntimeError::standard(1001);
    rig->comm().HandleError(broken);
    platform::Clock::pumpOnce();
    EXPECT_TRUE(panel->ListText().startsWith(QStringLiteral("D\r\nC\r\n")));
}

TEST_F(ErrorPanel, QueueOverflowWarnsAtOnceAndKeepsTheNewest)
{
    for (int i = 1; i <= 21; ++i)
        panel->setErrorMsg(QStringLiteral("m%1").arg(i));
    EXPECT_EQ(panel->ListText(), QStringLiteral("WARNING! An Error Message Queue overflow has occurred!\r\n"
                                                "All further errors will be ignored until cleared!\r\n"));
    QStringList expected;
    for (int i = 1; i <= 19; ++i)
        expected.append(QStringLiteral("m%1").arg(i));
    expected.append(QStringLiteral("m21"));
    // Read by dispatch identifier, as a host does.
    EXPECT_EQ(platform::invoke(panel.get(), 0x68030000, platform::MemberKind::PropertyGet).toString(),
              expected.join(QStringLiteral("\r\n")));
    EXPECT_EQ(panel->ErrorMsg(), QString());
}

TEST_F(ErrorPanel, OkRaisesDismissThenClears)
{
    QSignalSpy dismissed(panel.get(), &KVLError::Dismiss);
    auto* ok = panel->findChild<QPushButton*>(QStringLiteral("cmdOK"));
    ASSERT_NE(ok, nullptr);
    PanelTestRig::click(ok);
    EXPECT_EQ(dismissed.count(), 1);

    rig->sim().pushError(9, "X");
    rig->tick(4);
    QString seenByHost;
    QObject::connect(panel.get(), &KVLError::Dismiss, [&] { seenByHost = panel->ListText(); });
    PanelTestRig::click(ok);
    EXPECT_EQ(seenByHost, QStringLiteral("9,  X\r\n "));
    EXPECT_EQ(panel->ListText(), QString());
}

} // namespace
