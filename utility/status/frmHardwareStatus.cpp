#include "utility/status/frmHardwareStatus.h"

#include "library/link/BusType.h"
#include "library/link/NumberText.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/DispatchTable.h"
#include "utility/shell/CommLink.h"
#include "utility/shell/FormPlaces.h"
#include "utility/shell/LateEvent.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/frmMain.h"
#include "utility/status/DisplayPause.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QWidget>

#include <optional>

namespace {

constexpr int kAxes = 6;
constexpr int kTicksPerRefresh = 10;
constexpr int kLedSize = 17; // pixels

struct LedRow {
    const char* label;
    const char* text;
    int word;
    int firstBit;
    int count;
};

// The rows of the window in their order: label, text, word and bits.
const LedRow kRows[] = {
    {"Label8", "+ Hardware Travel Limit", 1, 0, kAxes},
    {"Label9", "- Hardware Travel Limit", 1, 8, kAxes},
    {"Label10", "Amplifier Fault", 1, 16, kAxes},
    {"Label11", "Home Signal", 2, 0, kAxes},
    {"Label12", "Index Signal", 2, 8, kAxes},
    {"Label14", "E-Stop 1", 1, 27, 1},
    {"Label16", "E-Stop 2", 1, 28, 1},
    {"Label17", "100-pin Cable Interlock", 1, 31, 1},
};

void switchLed(QObject* led, bool on)
{
    if (!led)
        return;
    if (auto* w = qobject_cast<QWidget*>(led))
        w->setEnabled(true);
    QVariantList args;
    platform::invokeByName(led, on ? QStringLiteral("SwitchOn") : QStringLiteral("SwitchOff"),
                           platform::MemberKind::Method, args);
}

bool bitSet(quint32 word, int bit)
{
    return ((word >> bit) & 1u) != 0;
}

// One word: hexadecimal digits (at most eight significant) followed by "H", blanks around it.
bool parseWord(const QString& text, quint32& word)
{
    // Only a whole word counts: a reply cut short or garbled leaves the lights as they were.
    const QString t = text.trimmed();
    if (t.indexOf(QLatin1Char('H')) != t.size() - 1)
        return false;
    for (int i = 0; i + 1 < t.size(); ++i) {
        const char16_t u = t.at(i).unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f')))
            return false;
    }
    const std::optional<quint32> value = NumberText::statusWord(t);
    if (!value)
        return false;
    word = *value;
    return true;
}

} // namespace

frmHardwareStatus::frmHardwareStatus()
    : Form(QStringLiteral("frmHardwareStatus"))
{
    setWindowTitle(QStringLiteral("KVL7100 Hardware Status"));
    setBorderStyle(vbFixedSingle);

    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(8);
    auto* axisLabel = new QLabel(QStringLiteral("Axis"), this);
    axisLabel->setObjectName(QStringLiteral("Label21"));
    grid->addWidget(axisLabel, 0, 0, Qt::AlignRight);
    for (int axis = 1; axis <= kAxes; ++axis) {
        auto* heading = new QLabel(QString::number(axis), this);
        heading->setObjectName(QStringLiteral("Label%1").arg(axis + 1));
        heading->setAlignment(Qt::AlignCenter);
        grid->addWidget(heading, 0, axis);
    }

    int row = 1;
    for (const LedRow& r : kRows) {
        auto* label = new QLabel(QString::fromLatin1(r.text), this);
        label->setObjectName(QString::fromLatin1(r.label));
        grid->addWidget(label, row, 0);
        for (int k = 0; k < r.count; ++k) {
            const int bit = r.firstBit + k;
            QObject* created = platform::createObject(QStringLiteral("KVL410ActiveX.LEDHL"), this);
            auto* led = qobject_cast<QWidget*>(created);
            if (!led)
                continue;
            led->setObjectName(QStringLiteral("LEDHL%1_%2").arg(r.word).arg(bit));
            led->setFixedSize(kLedSize, kLedSize);
            // The single LEDs of a row sit in the first axis column.
            grid->addWidget(led, row, 1 + (r.count == 1 ? 0 : k), Qt::AlignCenter);
            (r.word == 1 ? m_leds1 : m_leds2).insert(bit, led);
        }
        if (r.firstBit == 27)
            m_label14 = label;
        else if (r.firstBit == 28)
            m_label16 = label;
        else if (r.firstBit == 31)
            m_label17 = label;
        ++row;
    }
    // The caption stays whole beside the frame's buttons.
    setMinimumWidth(fontMetrics().horizontalAdvance(windowTitle()) + 120);
}

void frmHardwareStatus::Form_Load()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    frmMain* main = frmMain::instance();
    mobjCommControl = main ? main->KVLComm1().object() : nullptr;
    if (mobjCommControl)
        LateEvent::connect(mobjCommControl, SIGNAL(Timer()), this, SLOT(mobjCommControl_Timer()));
    m_pause = new DisplayPause(this, [this] { refresh(); });

    CommLink comm(mobjCommControl);
    if (mobjCommControl && comm.IsOpen()) {
        const bool interlock = KvlXGlobal::gModel == QLatin1String("KVL7100");
        m_label14->setText(interlock ? QStringLiteral("100-pin E-Stop") : QStringLiteral("E-Stop 1"));
        m_label16->setText(interlock ? QStringLiteral("Aux I/O E-Stop") : QStringLiteral("E-Stop 2"));
        m_label17->setText(QStringLiteral("100-pin Cable Interlock"));
        m_label17->setVisible(interlock);
        if (auto* led = qobject_cast<QWidget*>(LEDHL1(31)))
            led->setVisible(interlock);
        KvlXGlobal::RestoreFormPosition(this);
        // Words that were not read light nothing and put nothing out: the LEDs stay as they were.
        bool read = comm.BusType() == BUS_TYPE_NONE;
        if (!read) {
            QString reply(255, QLatin1Char(' '));
            read = comm.SendReadAscii(QStringLiteral("PH\r"), reply) == 0 && ParseStatusReply(reply, m_word1, m_word2);
        }
        if (read) {
            ShowStatusWord1();
            ShowStatusWord2();
        } else {
            // Never read, the lamps show no level (their designed look is "H"): greyed until a
            // word comes.
            for (const auto* leds : {&m_leds1, &m_leds2}) {
                for (QObject* led : *leds) {
                    if (auto* w = qobject_cast<QWidget*>(led))
                        w->setEnabled(false);
                }
            }
        }
    }
    m_ready = true;
    QApplication::restoreOverrideCursor();
}

void frmHardwareStatus::Form_Unload(int& Cancel)
{
    Q_UNUSED(Cancel);
    m_ready = false;
    KvlXGlobal::SaveFormPosition(this);
}

void frmHardwareStatus::mobjCommControl_Timer()
{
    ++m_tickCounter;
    if (m_tickCounter % kTicksPerRefresh != 0)
        return;
    m_tickCounter = 0;
    refresh();
}

void frmHardwareStatus::refresh()
{
    // Nothing in here lets events run, but a link failure's box does: a tick then passes over.
    if (!m_ready || m_refreshing || !m_pause->showing())
        return;
    CommLink comm(mobjCommControl);
    if (comm.isNull() || comm.BusType() == BUS_TYPE_NONE)
        return;
    m_refreshing = true;
    QString reply(255, QLatin1Char(' '));
    if (comm.SendReadAscii(QStringLiteral("PH\r"), reply) == 0 && ParseStatusReply(reply, m_word1, m_word2)) {
        ShowStatusWord1();
        ShowStatusWord2();
    }
    m_refreshing = false;
}

bool frmHardwareStatus::ParseStatusReply(const QString& Reply, quint32& Word1, quint32& Word2)
{
    const int comma = Reply.indexOf(QLatin1Char(','));
    if (comma < 0)
        return false;
    const int end = Reply.indexOf(QLatin1Char('\r'), comma);
    if (end < 0)
        return false;
    quint32 first = 0;
    quint32 second = 0;
    if (!parseWord(Reply.left(comma), first) || !parseWord(Reply.mid(comma + 1, end - comma - 1), second))
        return false;
    Word1 = first;
    Word2 = second;
    return true;
}

void frmHardwareStatus::ShowStatusWord1()
{
    for (auto it = m_leds1.cbegin(); it != m_leds1.cend(); ++it) {
        if (it.key() == 31 || !bitSet(Word1Hidden, it.key()))
            switchLed(it.value(), bitSet(m_word1, it.key()));
    }
}

void frmHardwareStatus::ShowStatusWord2()
{
    for (auto it = m_leds2.cbegin(); it != m_leds2.cend(); ++it) {
        if (bitSet(Word2Shown, it.key()))
            switchLed(it.value(), bitSet(m_word2, it.key()));
    }
}
