#include "tests/support/PanelTestRig.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "platform/kernel/Clock.h"
#include "sim/SimController.h"
#include "sim/SimDevice.h"
#include "tests/support/Clicks.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLocale>
#include <QTest>
#include <QWidget>

void PrintTo(const QString& text, std::ostream* os)
{
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1String("\\r")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
    *os << '"' << shown.toStdString() << '"';
}

PanelTestRig::PanelTestRig(BUS_TYPE bus, int maxAxes)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    platform::Clock::useManualClock();
    m_device = std::make_unique<SimDevice>();
    if (bus == BUS_TYPE_PCI)
        m_device->installOnPci(0);
    else
        m_device->installOnUsb(0);
    m_comm = std::make_unique<KVLComm>();
    m_comm->setBusType(bus);
    m_comm->KVLInit();
    m_comm->KVLOpen();
    gui().setMaxAxes(short(maxAxes));
    QObject::connect(&gui(), &CGuiState::FormStatus,
                     [this](short FormID, short State) { formEvents.append({FormID, State}); });
    clearLines();
}

PanelTestRig::~PanelTestRig()
{
    m_comm.reset();
    m_device.reset();
    platform::Clock::useRealClock();
    QLocale::setDefault(QLocale::system());
}

SimController& PanelTestRig::sim()
{
    return m_device->controller();
}

CGuiState& PanelTestRig::gui()
{
    return *m_comm->GetGuiStateObject();
}

QStringList PanelTestRig::lines() const
{
    QStringList result;
    for (const QByteArray& line : m_device->controller().rawLines())
        result.append(QString::fromLatin1(line));
    return result;
}

void PanelTestRig::clearLines()
{
    sim().clearLog();
}

void PanelTestRig::goDemo()
{
    m_comm->setBusType(BUS_TYPE_NONE);
    m_comm->KVLInit();
}

void PanelTestRig::tick(int n)
{
    for (int i = 0; i < n; ++i)
        emit m_comm->Timer();
}

namespace {

Qt::MouseButton mouseButton(int button)
{
    switch (button) {
    case 2: return Qt::RightButton;
    case 4: return Qt::MiddleButton;
    default: return Qt::LeftButton;
    }
}

} // namespace

void PanelTestRig::press(QWidget* w, int button)
{
    QTest::mousePress(w, mouseButton(button), {}, Clicks::target(w));
}

void PanelTestRig::release(QWidget* w, int button)
{
    QTest::mouseRelease(w, mouseButton(button), {}, Clicks::target(w));
}

void PanelTestRig::click(QWidget* w)
{
    press(w);
    release(w);
}

void PanelTestRig::quickClick(QWidget* w)
{
    // The release waits in the queue as the window system's would, and is delivered as the
    // window system delivers it, so the application's idea of the held buttons follows.
    QMetaObject::invokeMethod(
        w, [w] { QTest::mouseRelease(w, Qt::LeftButton); }, Qt::QueuedConnection);
    QTest::mousePress(w, Qt::LeftButton);
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
}

void PanelTestRig::pressEnter(QWidget* w)
{
    QTest::keyClick(w, Qt::Key_Return);
}

void PanelTestRig::leave(QWidget* w)
{
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(w, &out);
}
