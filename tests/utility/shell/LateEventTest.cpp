#include "utility/shell/LateEvent.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <gtest/gtest.h>
#include <gtest/gtest-spi.h>

namespace {

QStringList g_logged;
QtMessageHandler g_runner = nullptr;

void recordAndPass(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    g_logged << message;
    if (g_runner)
        g_runner(type, context, message);
}

} // namespace

TEST(LateEventTest, AnEventNameThatDoesNotMatchFailsTheTestAndIsLogged)
{
    QTimer sender;
    sender.setObjectName(QStringLiteral("KVLComm1"));
    auto* receiver = new QObject;
    receiver->setObjectName(QStringLiteral("frmStatus"));
    QPointer<QObject> watch(receiver);

    g_logged.clear();
    g_runner = qInstallMessageHandler(recordAndPass);
    bool made = true;
    // The test runner turns Qt's warning into a failure, so a misspelt event cannot pass unseen.
    EXPECT_NONFATAL_FAILURE(made = LateEvent::connect(&sender, SIGNAL(timout()), receiver, SLOT(deleteLater())),
                            "Qt could not connect");
    qInstallMessageHandler(g_runner);
    EXPECT_FALSE(made);
    EXPECT_TRUE(g_logged.contains(QStringLiteral("Moxtrel: frmStatus gets no timout() event from KVLComm1 "
                                                 "(deleteLater() is not connected)")))
        << g_logged.join(QLatin1Char('\n')).toStdString();

    // A name that matches connects as before.
    EXPECT_TRUE(LateEvent::connect(&sender, SIGNAL(timeout()), receiver, SLOT(deleteLater())));
    QMetaObject::invokeMethod(&sender, "timeout", Qt::DirectConnection);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watch.isNull());
}
