#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"
#include "sim/SimController.h"
#include "sim/SimPtyThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>

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

QString programPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Moxtrel");
}

// The real program, headless, on a settings store of its own that holds storeText.
struct ProgramRun {
    QTemporaryDir config;
    QString storeFile;
    QProcess process;

    // False when the store could not be written. A file-size limit other than none holds for the
    // program's writes.
    bool start(const QByteArray& storeText, const QMap<QString, QString>& settings, rlim_t fileSizeLimit = RLIM_INFINITY)
    {
        storeFile = config.filePath(QStringLiteral("Moxtrel/Moxtrel.ini"));
        QDir().mkpath(config.filePath(QStringLiteral("Moxtrel")));
        QFile file(storeFile);
        if (!config.isValid() || !file.open(QIODevice::WriteOnly) || file.write(storeText) != storeText.size())
            return false;
        file.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("MOXTREL_UNATTENDED"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        for (auto it = settings.cbegin(); it != settings.cend(); ++it)
            env.insert(it.key(), it.value());
        process.setProcessEnvironment(env);
        if (fileSizeLimit != RLIM_INFINITY) {
            process.setChildProcessModifier([fileSizeLimit] {
                rlimit limit{};
                getrlimit(RLIMIT_FSIZE, &limit);
                limit.rlim_cur = fileSizeLimit;
                setrlimit(RLIMIT_FSIZE, &limit);
            });
        }
        process.start(programPath(), QStringList());
        return process.waitForStarted(10000);
    }
};

} // namespace

// The real program, headless, on the simulated controller behind serial port 1.
TEST(MoxtrelEndToEndTest, ComesUpTalksToTheControllerAndShutsDownCleanly)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "Moxtrel is not built beside the tests";

    SimPtyThread sim;
    ASSERT_TRUE(sim.isOpen());
    // Questions answered No: no reset, so no 18-second wait for the controller to restart.
    ProgramRun run;
    ASSERT_TRUE(run.start("[KVLComm]\nBusType=3\nCommPort=1\nDeviceID=1\nBaud=\"19200,n,8,1\"\n[frmMain]\nFirstTime=0\n",
                          {{QStringLiteral("KVL_COM1"), sim.slavePath()}, {QStringLiteral("MOXTREL_UNATTENDED"), QStringLiteral("no")}}));
    QProcess& moxtrel = run.process;
    const QString& storeFile = run.storeFile;

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

// Told to end (SIGTERM) while its first question waits for a person, the real program closes the
// ordinary way within a moment and keeps the link it was given.
TEST(MoxtrelEndToEndTest, EndsOnSigtermWhileAQuestionWaits)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "Moxtrel is not built beside the tests";

    ProgramRun run;
    ASSERT_TRUE(run.start("[KVLComm]\nBusType=3\nCommPort=4\nDeviceID=1\nBaud=\"9600,n,8,1\"\n[frmMain]\nFirstTime=0\n",
                          {{QStringLiteral("KVL_COM4"), QStringLiteral("/nonexistent/kvl-tty")}}));
    QProcess& moxtrel = run.process;
    const QString& storeFile = run.storeFile;
    // Time to come up and ask whether to reset the controller; nobody answers.
    EXPECT_FALSE(moxtrel.waitForFinished(1500));

    QElapsedTimer elapsed;
    elapsed.start();
    moxtrel.terminate();
    const bool ended = moxtrel.waitForFinished(5000);
    if (!ended) {
        moxtrel.kill();
        moxtrel.waitForFinished(5000);
    }
    ASSERT_TRUE(ended) << "the program waited for the box";
    EXPECT_LT(elapsed.elapsed(), 2500);
    EXPECT_EQ(moxtrel.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(moxtrel.exitCode(), 0);

    QSettings store(storeFile, QSettings::IniFormat);
    EXPECT_EQ(store.value(QStringLiteral("KVLComm/BusType")).toString(), QStringLiteral("3"));
    EXPECT_EQ(store.value(QStringLiteral("KVLComm/CommPort")).toString(), QStringLiteral("4"));
    EXPECT_EQ(store.value(QStringLiteral("KVLComm/Baud")).toString(), QStringLiteral("9600,n,8,1"));
    EXPECT_TRUE(store.contains(QStringLiteral("frmErrors/Left"))) << "the windows were closed the ordinary way";
}

// Under a file-size limit (a full quota) the real program's writes fail: it goes on and ends the
// ordinary way, and the store it could not write keeps what it held, instead of the program
// being killed in the middle of writing it.
TEST(MoxtrelEndToEndTest, AFileSizeLimitFailsTheWriteAndDoesNotKillTheProgram)
{
    if (!QFileInfo::exists(programPath()))
        GTEST_SKIP() << "Moxtrel is not built beside the tests";

    const QByteArray storeText = "[KVLComm]\nBusType=0\nCommPort=1\nDeviceID=1\nBaud=\"19200,n,8,1\"\n[frmMain]\n"
                                 "FirstTime=0\nLeft=120\n";
    ProgramRun run;
    ASSERT_TRUE(run.start(storeText, {{QStringLiteral("MOXTREL_UNATTENDED"), QStringLiteral("no")}}, 16));
    QProcess& moxtrel = run.process;
    EXPECT_FALSE(moxtrel.waitForFinished(1500));
    moxtrel.terminate();
    const bool ended = moxtrel.waitForFinished(10000);
    if (!ended) {
        moxtrel.kill();
        moxtrel.waitForFinished(5000);
    }
    ASSERT_TRUE(ended);
    EXPECT_EQ(moxtrel.exitStatus(), QProcess::NormalExit) << "killed by signal " << moxtrel.exitCode();
    EXPECT_EQ(moxtrel.exitCode(), 0);
    QFile store(run.storeFile);
    ASSERT_TRUE(store.open(QIODevice::ReadOnly));
    EXPECT_EQ(store.readAll(), storeText);
}
