#include "platform/ui/ProgramFont.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QtMessageHandler g_previousHandler = nullptr;

// A connection Qt could not make leaves a window deaf to an event while everything else seems to
// work, so its warning fails the test that caused it. Every message is still printed as before.
void failOnConnectWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const bool connectWarning = qstrcmp(context.category, "qt.core.qobject.connect") == 0
                                || message.startsWith(QLatin1String("QObject::connect"))
                                || message.startsWith(QLatin1String("QObject::disconnect"));
    // Qt names the sender and the receiver on lines of their own after the warning itself.
    const bool detail = message.contains(QLatin1String(":  (sender name:"))
                        || message.contains(QLatin1String(":  (receiver name:"));
    if (type != QtDebugMsg && type != QtInfoMsg && connectWarning && !detail)
        ADD_FAILURE() << "Qt could not connect: " << message.toStdString();
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

} // namespace

// Every test program runs with a QApplication, headless unless told otherwise.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Each test program gets its own lock folder, so parallel test programs do not wait on
    // each other; the lock tests that need a shared folder set their own.
    QTemporaryDir lockDir;
    if (qEnvironmentVariableIsEmpty("KVL_LOCK_DIR") && lockDir.isValid())
        qputenv("KVL_LOCK_DIR", lockDir.path().toLocal8Bit());
    g_previousHandler = qInstallMessageHandler(failOnConnectWarnings);
    QApplication app(argc, argv);
    // The program's own font, as Moxtrel sets it.
    QApplication::setFont(platform::ProgramFont::font());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
