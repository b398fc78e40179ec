#include "platform/ui/ProgramFont.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
    QApplication app(argc, argv);
    // The program's own font, as Moxtrel sets it.
    QApplication::setFont(platform::ProgramFont::font());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
