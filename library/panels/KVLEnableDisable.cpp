#include "library/panels/KVLEnableDisable.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "library/panels/GSBits.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/PropertyBag.h"

#include <QColor>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

namespace {

const bool registered = platform::registerClass(
    QStringLiteral("KVL410ActiveX.KVLEnableDisable"),
    [](QWidget* parent) -> QObject* { return new KVLEnableDisable(parent); });

PanelBase::Options enableOptions()
{
    PanelBase::Options options;
    options.handlesTimer = true;
    options.displayOnly = true;
    return options;
}

platform::DispatchTable buildTable()
{
    using T = KVLEnableDisable;
    using Args = QVariantList;
    platform::DispatchTable t(QStringLiteral("_KVLEnableDisable"));
    t.put<T>(QStringLiteral("CommControl"), 0x68030001,
             [](T& p, Args& a) { p.setCommControl(PanelBase::commFromVariant(a.value(0))); });
    t.put<T>(QStringLiteral("ShowFrame"), 0x68030000, [](T& p, Args& a) { p.setShowFrame(a.value(0).toBool()); });
    t.get<T>(QStringLiteral("ShowFrame"), 0x68030000, [](T& p, Args&) { return p.ShowFrame(); });
    return t;
}

// Dispatch identifiers of the bit indicator.
constexpr int BitValue = 0x68030000;
constexpr int BitOffColor = 0x68030001;
constexpr int BitEnabled = 0x68030002;

constexpr qint32 Green = 0x00FF00;
constexpr qint32 PaleYellow = 0xC0FFFF;
constexpr qint32 Grey = 0xC0C0C0;

} // namespace

KVLEnableDisable::KVLEnableDisable(QWidget* parent)
    : PanelBase(enableOptions(), parent)
{
    Q_UNUSED(registered);
    setObjectName(QStringLiteral("KVLEnableDisable"));
    buildControls();
    setOuterFrame(frameMotorPower, false);
}

void KVLEnableDisable::buildControls()
{
    frameMotorPower = makeFrame(this, QStringLiteral("frameMotorPower_0"), QStringLiteral("Enable / Disable"),
                                twips(0, 0, 2052, 2292));
    setFixedSize(frameMotorPower->size());

    // The bits are loaded with their designed colours; Enabled and Value are not stored, so every
    // bit starts disabled and off.
    platform::PropertyBag design;
    design.WriteProperty(QStringLiteral("OnColor"), Green, BitOnOff::DefaultOnColor);
    design.WriteProperty(QStringLiteral("OffColor"), PaleYellow, BitOnOff::DefaultOffColor);
    const int lefts[3] = {60, 780, 1500};
    const int labelLefts[3] = {240, 960, 1680};
    for (int i = 0; i < MaxPanelAxes; ++i) {
        auto* bit = new GSBits(frameMotorPower);
        bit->setObjectName(QStringLiteral("bitMotorPower_%1").arg(i));
        bit->setGeometry(twips(lefts[i % 3], i < 3 ? 360 : 960, 495, 375));
        bit->ReadProperties(design);
        connect(bit, &BitOnOff::Click, this, [this, i] { bitMotorPower_Click(i); });
        bitMotorPower.append(bit);

        QLabel* label = makeLabel(frameMotorPower, QStringLiteral("lblMotorPower_%1").arg(i), QString::number(i + 1),
                                  twips(labelLefts[i % 3], i < 3 ? 720 : 1320, 255, 255));
        lblMotorPower.append(label);
    }

    btnAllOn = new QPushButton(QStringLiteral("All ON"), frameMotorPower);
    btnAllOn->setObjectName(QStringLiteral("btnAllOn"));
    btnAllOn->setToolTip(QStringLiteral("Click on this button to turn all axes ON."));
    btnAllOn->setGeometry(twips(120, 1680, 852, 372));
    connect(btnAllOn, &QPushButton::clicked, this, [this] { switchAll(QStringLiteral("MO")); });

    btnAllOff = new QPushButton(QStringLiteral("All OFF"), frameMotorPower);
    btnAllOff->setObjectName(QStringLiteral("btnAllOff"));
    btnAllOff->setToolTip(QStringLiteral("Click on this button to turn all axes OFF."));
    btnAllOff->setGeometry(twips(1080, 1680, 852, 372));
    connect(btnAllOff, &QPushButton::clicked, this, [this] { switchAll(QStringLiteral("MF")); });
}

void KVLEnableDisable::putBit(int index, int dispid, const QVariant& value)
{
    QVariantList args{value};
    platform::invoke(bitMotorPower.at(index), dispid, platform::MemberKind::PropertyPut, args);
}

void KVLEnableDisable::showPower(int index, bool on)
{
    putBit(index, BitOffColor, PaleYellow);
    putBit(index, BitValue, on);
}

void KVLEnableDisable::showNoLevel(int index)
{
    // Neither on nor off: an empty lamp in the frame's own colour.
    const QColor c = frameMotorPower->palette().color(QPalette::Window);
    putBit(index, BitValue, false);
    putBit(index, BitOffColor, qint32(c.red() | (c.green() << 8) | (c.blue() << 16)));
}

void KVLEnableDisable::greyOut(int index)
{
    putBit(index, BitValue, false);
    putBit(index, BitOffColor, Grey);
    putBit(index, BitEnabled, false);
}

// ---------------------------------------------------------------------------------------------
// Set-up

void KVLEnableDisable::setUp()
{
    SetupPanel();
}

void KVLEnableDisable::SetupPanel()
{
    if (!isBound())
        return;
    if (!linkOpen()) {
        // Not run again after a successful reset.
        offerReset();
        return;
    }
    InitializeAxes();
    RefreshMotorPower();
}

void KVLEnableDisable::InitializeAxes()
{
    if (!linkUsable())
        return;
    const int count = servedAxes();
    for (int axis = 1; axis <= count; ++axis) {
        int flag = 0;
        const Read read = readFlag(query(axis, QStringLiteral("QM")), flag);
        if (read == Read::Failed)
            return;
        // An axis whose probe went unanswered may have a motor: its lamp is not greyed and it stays
        // in the switching (a click asks the controller for its state first).
        m_MotorPresent[axis - 1] = read == Read::Read ? flag : MotorUnread;
        if (m_MotorPresent[axis - 1] != 0) {
            putBit(axis - 1, BitEnabled, true);
            // Off is a state read; until one is, the lamp shows none.
            showNoLevel(axis - 1);
        } else {
            greyOut(axis - 1);
        }
    }
    for (int index = MaxPanelAxes - 1; index >= count; --index) {
        m_MotorPresent[index] = 0;
        greyOut(index);
    }
}

void KVLEnableDisable::RefreshMotorPower()
{
    if (!linkUsable())
        return;
    pollInTurn(servedAxes(), m_nextAxis, [this](int index) {
        if (m_MotorPresent[index] == 0)
            return true;
        QString reply;
        const int status = sendQuery(query(index + 1, QStringLiteral("MO")), reply);
        if (status == -2)
            return false;
        // Only an answer of 0 or 1 is shown: a query lost or not sent leaves the lamp as it was.
        const QString state = reply.left(1);
        if (status == 0 && (state == QLatin1String("0") || state == QLatin1String("1")))
            showPower(index, state == QLatin1String("1"));
        return true;
    });
}

void KVLEnableDisable::onTimer()
{
    // The count goes on while out of view, so the refresh keeps its ticks.
    if (m_ticks.tick() && readWanted())
        RefreshMotorPower();
}

// ---------------------------------------------------------------------------------------------
// Switching

void KVLEnableDisable::bitMotorPower_Click(int Index)
{
    if (!passesGuards(GuardBound | GuardBus))
        return;
    if (!linkOpen()) {
        offerReset();
        return;
    }
    if (Index >= 0 && Index < MaxPanelAxes && m_MotorPresent[Index] != 0) {
        const int axis = Index + 1;
        QString reply;
        const int status = sendQuery(query(axis, QStringLiteral("MO")), reply);
        if (status == -2)
            return;
        // The bit has toggled itself; the controller's answer decides. Anything but 0 or 1
        // (no reply among them) switches nothing.
        const QString state = status == 0 ? reply.left(1) : QString();
        QString mnemonic;
        if (state == QLatin1String("0"))
            mnemonic = QStringLiteral("MO");
        else if (state == QLatin1String("1"))
            mnemonic = QStringLiteral("MF");
        if (!mnemonic.isEmpty() && sendCommand(command(axis, mnemonic)) == -2)
            return;
        // No state read: the toggle goes back, the lamp shows no state nobody read.
        if (mnemonic.isEmpty())
            putBit(Index, BitValue, !bitMotorPower.at(Index)->Value());
    }
    // The bit shows the controller's state, not the toggle.
    RefreshMotorPower();
}

void KVLEnableDisable::switchAll(const QString& mnemonic)
{
    if (!passesGuards(GuardBound | GuardBus))
        return;
    if (!linkOpen()) {
        offerReset();
        return;
    }
    const int count = servedAxes();
    for (int axis = 1; axis <= count; ++axis) {
        if (m_MotorPresent[axis - 1] == 0)
            continue;
        if (sendCommand(command(axis, mnemonic)) == -2)
            return;
    }
    RefreshMotorPower();
}

const platform::DispatchTable* KVLEnableDisable::dispatchTable(const QString& interfaceName) const
{
    static const platform::DispatchTable table = buildTable();
    if (!interfaceName.isEmpty() && interfaceName != table.interfaceName())
        return nullptr;
    return &table;
}
