#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"
#include "sim/SimController.h"
#include "sim/SimPtyThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QStringList receivedLines(SimPtyThread& sim)
{
    QStringList lines;
    sim.with([&](SimController& c) {
        for (const QByteArray& line : c.lines())
            lines << QString::fromLatin1(line);
    });
    return lines;
}

} // namespace

// The real program, headless, on the simulated controller behind serial port 1.
TEST(MoxtrelEndToEndTest, ComesUpTalksToTheControllerAndShutsDownCleanly)
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/Moxtrel");
    if (!QFileInfo::exists(program))
        GTEST_SKIP() << "Moxtrel is not built beside the tests";

    SimPtyThread sim;
    ASSERT_TRUE(sim.isOpen());
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    const QString storeFile = config.filePath(QStringLiteral("Moxtrel/Moxtrel.ini"));
    {
        QDir().mkpath(config.filePath(QStringLiteral("Moxtrel")));
        QFile file(storeFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[KVLComm]\nBusType=3\nCommPort=1\nDeviceID=1\nBaud=\"19200,n,8,1\"\n[frmMain]\nFirstTime=0\n");
    }

    QProcess moxtrel;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("KVL_COM1"), sim.slavePath());
    // Questions answered No: no reset, so no 18-second wait for the controller to restart.
    env.insert(QStringLiteral("MOXTREL_UNATTENDED"), QStringLiteral("no"));
    moxtrel.setProcessEnvironment(env);
    moxtrel.start(program, QStringList());
    ASSERT_TRUE(moxtrel.waitForStarted(10000));

    // Up: the controller was identified, and the error window polls it on the link's tick.
    const bool talking = platform::Clock::pumpUntil(
        [&] {
            const QStringList lines = receivedLines(sim);
            return lines.contains(QStringLiteral("VE?")) && lines.count(QStringLiteral("TB")) >= 2;
        },
        20000, 20);
    EXPECT_TRUE(talking) << receivedLines(sim).join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(moxtrel.state(), QProcess::Running);

    moxtrel.terminate();
    ASSERT_TRUE(moxtrel.waitForFinished(15000));
    EXPECT_EQ(moxtrel.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(moxtrel.exitCode(), 0);
    const QString log = QString::fromLocal8Bit(moxtrel.readAllStandardError());
    EXPECT_TRUE(log.contains(QStringLiteral("Do you want to reset controller -> %1").arg(platform::vbNo)))
        << log.toStdString();
    EXPECT_FALSE(receivedLines(sim).contains(QStringLiteral("RS")));

    // The shutdown saved the link and the error window's place.
    QSettings store(storeFile, QSettings::IniFormat);
    EXPECT_EQ(store.value(QStringLiteral("KVLComm/BusType")).toString(), QStringLiteral("3"));
    EXPECT_EQ(store.value(QStringLiteral("KVLComm/CommPort")).toString(), QStringLiteral("1"));
    EXPECT_EQ(store.value(QStringLiteral("KVLComm/Baud")).toString(), QStringLiteral("19200,n,8,1"));
    EXPECT_EQ(store.value(QStringLiteral("frmMain/FirstTime")).toString(), QStringLiteral("0"));
    EXPECT_TRUE(store.contains(QStringLiteral("frmErrors/Width")));
}
