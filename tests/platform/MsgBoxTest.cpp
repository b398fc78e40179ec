#include "platform/ui/MsgBox.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

using namespace platform;

namespace {

// What a real box showed, read while it is open.
struct Shown {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    bool modal = false;
};

// Waits for the modal box, records it, then presses `press` (or Escape when press is NoButton).
void answerNextBox(Shown* shown, QMessageBox::StandardButton press)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, shown, press] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        shown->title = box->windowTitle();
        shown->text = box->text();
        shown->icon = box->icon();
        shown->buttons = box->standardButtons();
        shown->defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton())
                                                    : QMessageBox::NoButton;
        shown->modal = box->isModal();
        if (press == QMessageBox::NoButton) {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(box, &escape);
        } else {
            box->button(press)->click();
        }
    });
    poll->start();
}

class MsgBoxTest : public ::testing::Test {
protected:
    void TearDown() override { setMsgBoxHandler({}); }
};

} // namespace

TEST_F(MsgBoxTest, TheHandlerAnswersAndSeesTheCallAsMade)
{
    struct Call {
        QString prompt;
        int style;
        QString title;
    };
    std::vector<Call> calls;
    setMsgBoxHandler([&](const QString& prompt, int style, const QString& title) {
        calls.push_back({prompt, style, title});
        return style == 68 ? vbYes : vbOK;
    });
    EXPECT_EQ(MsgBox(QStringLiteral("Do you want to reset the system?"), 68, QStringLiteral(" Tarvelle KVL7100")), vbYes);
    EXPECT_EQ(MsgBox(QStringLiteral("Error 1001")), vbOK);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].prompt, QStringLiteral("Do you want to reset the system?"));
    EXPECT_EQ(calls[0].style, 68);
    EXPECT_EQ(calls[0].title, QStringLiteral(" Tarvelle KVL7100"));
    EXPECT_EQ(calls[1].style, 0);
    EXPECT_TRUE(calls[1].title.isEmpty()); // as passed: no title of its own
}

TEST_F(MsgBoxTest, RealBoxesFollowTheStyleNumber)
{
    const QString oldName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("MsgBoxTest"));
    struct Case {
        int style;
        QMessageBox::StandardButtons buttons;
        QMessageBox::Icon icon;
        QMessageBox::StandardButton defaultButton;
        QMessageBox::StandardButton press; // NoButton: Escape
        int answer;
    };
    const Case cases[] = {
        {0, QMessageBox::Ok, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok, vbOK},
        {0, QMessageBox::Ok, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::NoButton, vbOK},
        {1 + 16, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Critical, QMessageBox::Ok,
         QMessageBox::Cancel, vbCancel},
        {2 + 48 + 512, QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, QMessageBox::Warning,
         QMessageBox::Ignore, QMessageBox::Retry, vbRetry},
        {3 + 32 + 256, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Question,
         QMessageBox::No, QMessageBox::NoButton, vbCancel},
        {4 + 64, QMessageBox::Yes | QMessageBox::No, QMessageBox::Information, QMessageBox::Yes,
         QMessageBox::No, vbNo},
        {4 + 64, QMessageBox::Yes | QMessageBox::No, QMessageBox::Information, QMessageBox::Yes,
         QMessageBox::NoButton, vbNo},
        {5 + 256, QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::NoIcon, QMessageBox::Cancel,
         QMessageBox::Retry, vbRetry},
        {65536 + 48, QMessageBox::Ok, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok, vbOK},
        {3 + 256 + 512, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::NoIcon,
         QMessageBox::Yes, QMessageBox::Yes, vbYes}, // a fourth default button that is not there
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        Shown shown;
        answerNextBox(&shown, c.press);
        const QString title = c.style == 0 ? QString() : QStringLiteral("KVL7100");
        EXPECT_EQ(MsgBox(QStringLiteral("Line one\r\nLine <two>"), c.style, title), c.answer);
        EXPECT_EQ(shown.title, c.style == 0 ? QStringLiteral("MsgBoxTest") : QStringLiteral("KVL7100"));
        EXPECT_EQ(shown.text, QStringLiteral("Line one\nLine <two>"));
        EXPECT_EQ(shown.buttons, c.buttons);
        EXPECT_EQ(shown.icon, c.icon);
        EXPECT_EQ(shown.defaultButton, c.defaultButton);
        EXPECT_TRUE(shown.modal);
    }
    QCoreApplication::setApplicationName(oldName);
}

TEST_F(MsgBoxTest, UnattendedBoxesTakeTheDefaultOrDeclineWhereTheyCan)
{
    // The default button, by the default-button bits.
    EXPECT_EQ(unattendedAnswer(vbOKCancel, false), vbOK);
    EXPECT_EQ(unattendedAnswer(vbYesNo + vbDefaultButton2, false), vbNo);
    EXPECT_EQ(unattendedAnswer(vbYesNoCancel + vbDefaultButton3, false), vbCancel);
    EXPECT_EQ(unattendedAnswer(vbOKOnly + vbDefaultButton4, false), vbOK);
    // Declining: every question that offers No or Cancel is answered so.
    EXPECT_EQ(unattendedAnswer(vbOKCancel + vbQuestion, true), vbCancel);
    EXPECT_EQ(unattendedAnswer(vbYesNo, true), vbNo);
    EXPECT_EQ(unattendedAnswer(vbYesNoCancel, true), vbNo);
    EXPECT_EQ(unattendedAnswer(vbRetryCancel, true), vbCancel);
    EXPECT_EQ(unattendedAnswer(vbAbortRetryIgnore + vbDefaultButton2, true), vbRetry);
    EXPECT_EQ(unattendedAnswer(vbOKOnly + vbCritical, true), vbOK);
}
