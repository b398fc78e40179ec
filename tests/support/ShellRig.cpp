#include "tests/support/ShellRig.h"

#include "library/link/KVLComm.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"
#include "sim/SimController.h"
#include "sim/SimPty.h"
#include "sim/SimPtyThread.h"
#include "utility/shell/DataFiles.h"
#include "utility/shell/Form.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/SettingsStore.h"
#include "utility/shell/frmMain.h"

#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

namespace {

// The first button of a box: OK, Yes, Abort or Retry.
int firstButton(int style)
{
    switch (style & 0xF) {
    case 2: return platform::vbAbort;
    case 3:
    case 4: return platform::vbYes;
    case 5: return platform::vbRetry;
    default: return platform::vbOK;
    }
}

void resetGlobals()
{
    using namespace KvlXGlobal;
    gMaxAxes = gMaxFeedbackAxes = gMaxDigitalChannels = gMaxAnalogChannels = 0;
    gModel.clear();
    gBusChoice = 0;
    gFirstRun = gCommBroken = gDemoMode = gAppClosing = false;
    gAmplifierPresent = gAmpPowerOn = gAmpPowerWasOn = false;
    gChildFormNames.clear();
}

} // namespace

ShellRig::ShellRig()
{
    resetGlobals();
    SettingsStore::setFileName(m_dir.filePath(QStringLiteral("Moxtrel.ini")));
    KvlXGlobal::setAppPath(m_dir.path());
    frmMain::setInitializeControllerHandler({});
    frmMain::setShowBusTypeHandler({});
    frmMain::setCheckAmplifierPowerHandler({});
    platform::setMsgBoxHandler([this](const QString& prompt, int style, const QString& title) {
        const Box box{prompt, style, title};
        boxes.append(box);
        return answer ? answer(box) : firstButton(style);
    });
}

ShellRig::~ShellRig()
{
    destroyMain();
    m_sim.reset();
    platform::setMsgBoxHandler({});
    frmMain::setInitializeControllerHandler({});
    frmMain::setShowBusTypeHandler({});
    frmMain::setCheckAmplifierPowerHandler({});
    SettingsStore::setFileName(QString());
    KvlXGlobal::setAppPath(QString());
    resetGlobals();
}

void ShellRig::store(const QString& section, const QString& key, const QString& value)
{
    SettingsStore::SaveSetting(section, key, value);
}

QString ShellRig::stored(const QString& section, const QString& key) const
{
    return SettingsStore::GetSetting(section, key, QStringLiteral("<none>"));
}

void ShellRig::writeStoreText(const QByteArray& text)
{
    QFile file(SettingsStore::fileName());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

QStringList ShellRig::prompts() const
{
    QStringList list;
    for (const Box& b : boxes)
        list << b.prompt;
    return list;
}

void ShellRig::useSerialLink()
{
    if (!m_sim)
        m_sim = std::make_unique<SimPtyThread>();
    ASSERT_TRUE(m_sim->isOpen());
    qputenv(QByteArray("KVL_COM") + QByteArray::number(SimPort), m_sim->slavePath().toLocal8Bit());
    store(QStringLiteral("KVLComm"), QStringLiteral("BusType"), QStringLiteral("3"));
    store(QStringLiteral("KVLComm"), QStringLiteral("CommPort"), QString::number(SimPort));
    store(QStringLiteral("frmMain"), QStringLiteral("FirstTime"), QStringLiteral("0"));
}

void ShellRig::withSim(const std::function<void(SimController&)>& f)
{
    ASSERT_TRUE(m_sim);
    m_sim->with(f);
}

void ShellRig::setSimBaud(int baud)
{
    ASSERT_TRUE(m_sim);
    m_sim->withPty([baud](SimPty& pty) { pty.setBaud(baud); });
}

void ShellRig::setSimLateEvery(int n, int lateMs)
{
    ASSERT_TRUE(m_sim);
    m_sim->withPty([n, lateMs](SimPty& pty) { pty.setLateEvery(n, lateMs); });
}

QStringList ShellRig::simLines()
{
    QStringList lines;
    withSim([&](SimController& sim) {
        for (const QByteArray& line : sim.lines())
            lines << QString::fromLatin1(line);
    });
    return lines;
}

void ShellRig::closeSim()
{
    if (m_sim)
        m_sim->close();
}

frmMain* ShellRig::start()
{
    m_main = std::make_unique<frmMain>();
    m_main->Show();
    return m_main.get();
}

KVLComm* ShellRig::comm() const
{
    return m_main ? qobject_cast<KVLComm*>(m_main->KVLComm1().object()) : nullptr;
}

void ShellRig::destroyMain()
{
    if (!m_main)
        return;
    if (KVLComm* c = comm())
        c->setTimerEnabled(false);
    m_main.reset();
    platform::Clock::pumpOnce();
}
