#include "library/panels/KVLHome.h"

#include "library/link/CGuiState.h"
#include "library/link/Global.h"
#include "library/link/KVLComm.h"
#include "library/link/NumberText.h"
#include "library/link/ReadMarks.h"
#include "platform/com/ClassRegistry.h"
#include "platform/ui/MsgBox.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cmath>

namespace {

// The speed's unit caption while the axis's unit is not known.
const QString kNoUnitCaption = QStringLiteral("units / sec");

const bool registered = platform::registerClass(QStringLiteral("KVL410ActiveX.KVLHome"),
                                                [](QWidget* parent) -> QObject* { return new KVLHome(parent); });

PanelBase::Options homeOptions()
{
    PanelBase::Options options;
    options.formId = PanelBase::FormHome;
    options.handlesTimer = true;
    options.handlesAxisChange = true;
    return options;
}

platform::DispatchTable buildTable()
{
    using Args = QVariantList;
    platform::DispatchTable t(QStringLiteral("_KVLHome"));
    t.put<KVLHome>(QStringLiteral("CommControl"), 0x68030001,
                   [](KVLHome& p, Args& a) { p.setCommControl(PanelBase::commFromVariant(a.value(0))); });
    t.get<KVLHome>(QStringLiteral("ShowFrame"), 0x68030000, [](KVLHome& p, Args&) { return p.ShowFrame(); });
    t.put<KVLHome>(QStringLiteral("ShowFrame"), 0x68030000,
                   [](KVLHome& p, Args& a) { p.setShowFrame(a.value(0).toBool()); });
    return t;
}

bool isEnterKey(QEvent* e)
{
    if (e->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(e)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

KVLHome::KVLHome(QWidget* parent)
    : PanelBase(homeOptions(), parent)
{
    Q_UNUSED(registered);
    setObjectName(QStringLiteral("KVLHome"));
    Global::InitUnitNames();
    buildControls();
    setOuterFrame(Frame1, true);
}

void KVLHome::buildControls()
{
    Frame1 = makeFrame(this, QStringLiteral("Frame1"), QStringLiteral("Home"), twips(0, 0, 4455, 2535));
    // The control always has the frame's size.
    setFixedSize(Frame1->size());

    framSelect = makeFrame(Frame1, QStringLiteral("framSelect"), QStringLiteral("Select Axis"),
                           twips(120, 240, 1935, 1455));
    QList<QAbstractButton*> options;
    for (int i = 0; i < MaxPanelAxes; ++i) {
        auto* option = new QRadioButton(QStringLiteral("Axis %1").arg(i + 1), framSelect);
        option->setObjectName(QStringLiteral("optSelectAxis_%1").arg(i));
        option->setGeometry(twips(i < 3 ? 120 : 1020, 300 + 360 * (i % 3), 855, 255));
        optSelectAxis.append(option);
        options.append(option);
    }
    followCurrentAxis(options);
    for (int i = 0; i < MaxPanelAxes; ++i) {
        connect(optSelectAxis.at(i), &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                optSelectAxis_Click(i);
        });
    }

    btnStart = new QPushButton(QStringLiteral("&Start"), Frame1);
    btnStart->setObjectName(QStringLiteral("btnStart"));
    btnStart->setGeometry(twips(120, 1860, 1935, 495));
    connect(btnStart, &QPushButton::clicked, this, &KVLHome::btnStart_Click);

    framSpeed = makeFrame(Frame1, QStringLiteral("framSpeed"), QStringLiteral("Home Speed"),
                          twips(2280, 240, 2055, 855));
    txtSpeed = makeLineEdit(framSpeed, QStringLiteral("txtSpeed"), QStringLiteral("2.0"), twips(120, 360, 855, 315));
    txtSpeed->installEventFilter(this);
    connect(txtSpeed, &QLineEdit::textEdited, this, [this] { m_speedUnread = false; });
    lblUnits = makeLabel(framSpeed, QStringLiteral("lblUnits"), kNoUnitCaption,
                         twips(1035, 390, 960, 255));
    reserveUnitRoom(lblUnits, QStringLiteral("%1 / sec"));

    lblMode = makeLabel(Frame1, QStringLiteral("lblMode"), QStringLiteral("Search Mode"), twips(2280, 1260, 2055, 255));
    cboHomeMode = new QComboBox(Frame1);
    cboHomeMode->setObjectName(QStringLiteral("cboHomeMode"));
    cboHomeMode->setGeometry(twips(2280, 1500, 2055, 315));
    // The list index is the controller's search mode number.
    cboHomeMode->addItems({QStringLiteral("Zero position"), QStringLiteral("Home switch and index"),
                           QStringLiteral("Home switch only"), QStringLiteral("Positive limit"),
                           QStringLiteral("Negative limit"), QStringLiteral("Positive limit and index"),
                           QStringLiteral("Negative limit and index")});
    cboHomeMode->setCurrentIndex(0);
}

// ---------------------------------------------------------------------------------------------
// Binding and axis set-up

void KVLHome::setUp()
{
    if (busChosen()) {
        InitializeAxes();
        return;
    }
    optSelectAxis.at(0)->setChecked(true);
}

void KVLHome::InitializeAxes()
{
    if (!linkUsable())
        return;
    QPointer<KVLHome> self(this);
    if (probeMotors(m_MotorPresent) == -2)
        return;
    const QList<QAbstractButton*> options(optSelectAxis.cbegin(), optSelectAxis.cend());
    enableAxisOptions(options, m_MotorPresent);

    const int probed = probedAxisCount();
    for (int axis = 1; axis <= probed; ++axis) {
        // An axis whose probe went unanswered is not chosen.
        if (m_MotorPresent[axis - 1] <= 0)
            continue;
        QRadioButton* option = optSelectAxis.at(axis - 1);
        const bool changes = !option->isChecked();
        // Selecting runs the option's handling, which refreshes the parameters.
        option->setChecked(true);
        if (!self)
            return;
        m_Axis = axis;
        if (!changes)
            RefreshHomeParams();
        return;
    }
}

void KVLHome::optSelectAxis_Click(int index)
{
    m_Axis = index + 1;
    if (busChosen())
        RefreshHomeParams();
}

void KVLHome::RefreshHomeParams()
{
    // No IsOpen test: a closed link answers -1, and what it did not read is shown as unread.
    if (!passesGuards(GuardBound | GuardBus) || !isPanelAxis(m_Axis))
        return;
    const int axis = m_Axis;

    // A value not read shows empty (never 0, never the axis shown before): an empty speed box
    // sends nothing, and an empty mode makes Start read it again.
    double speed = 0;
    const Read speedRead = readValue(query(axis, QStringLiteral("OH")), NumberText::Target::Single, speed);
    if (speedRead == Read::Failed)
        return;
    txtSpeed->setText(speedRead == Read::Read ? NumberText::displayText(speed, 4) : QString());
    m_speedUnread = speedRead != Read::Read;

    if (readMode(axis) == Read::Failed)
        return;

    double code = 0;
    const Read unitRead = readValue(query(axis, QStringLiteral("SN")), NumberText::Target::I16, code);
    if (unitRead == Read::Failed)
        return;
    if (unitRead == Read::Read && code >= 0 && code < Global::UnitNameSlots)
        lblUnits->setText(Global::gUnitNames[int(code)] + QStringLiteral(" / sec"));
    else
        lblUnits->setText(kNoUnitCaption);
}

PanelBase::Read KVLHome::readMode(int axis)
{
    double mode = 0;
    const Read read = readValue(query(axis, QStringLiteral("OM")), NumberText::Target::I16, mode);
    const bool shown = read == Read::Read && mode >= 0 && mode < cboHomeMode->count();
    if (read != Read::Failed)
        cboHomeMode->setCurrentIndex(shown ? int(mode) : -1);
    return shown ? Read::Read : read == Read::Failed ? Read::Failed : Read::Unread;
}

// ---------------------------------------------------------------------------------------------
// Search

void KVLHome::btnStart_Click()
{
    if (!passesGuards(GuardBound | GuardBus))
        return;
    // One search at a time, and never on axis 0.
    if (m_Homing || m_starting || !isPanelAxis(m_Axis))
        return;
    takeFormLock(FormCycle, FormJog);
    if (!linkOpen()) {
        offerReset();
        releaseFormLock();
        return;
    }

    // Every command of this start goes to the axis chosen now, even if the selection moves
    // while events run.
    const int axis = m_Axis;
    m_starting = true;
    QPointer<KVLHome> self(this);
    auto failed = [this] {
        m_starting = false;
        releaseFormLock();
    };
    // A mode neither read nor chosen is never sent: it is read again first.
    if (cboHomeMode->currentIndex() < 0) {
        const Read read = readMode(axis);
        if (!self)
            return;
        if (read == Read::Failed)
            return failed();
        if (read == Read::Unread) {
            failed();
            platform::MsgBox(QStringLiteral("The search mode of Axis ") + NumberText::integerText(axis)
                                 + QStringLiteral(" could not be read from the controller.\r\n\r\nNo search was started."),
                             platform::vbExclamation, QStringLiteral("Home"));
            return;
        }
    }
    if (sendCommand(command(axis, QStringLiteral("OM"), NumberText::integerText(cboHomeMode->currentIndex()))) == -2)
        return failed();
    if (sendCommand(command(axis, QStringLiteral("MO"))) == -2)
        return failed();
    if (!pumpEvents())
        return;
    if (sendCommand(command(axis, QStringLiteral("OR"), NumberText::integerText(cboHomeMode->currentIndex()))) == -2)
        return failed();
    if (!pumpEvents())
        return;
    m_starting = false;
    m_homingAxis = axis;
    m_Homing = true;
}

void KVLHome::onTimer()
{
    if (!passesGuards(GuardBound | GuardBus))
        return;
    if (!m_ticks.tick() || !m_Homing)
        return;
    QString reply;
    // Only an answer ends the search: a query lost or not sent says nothing of it.
    const int status = sendQuery(query(m_homingAxis, QStringLiteral("MD")), reply);
    int done = 0;
    if (!ReadMarks::replyFlag(status, reply, done))
        return;
    if (done != 0) {
        btnStart->setEnabled(true);
        framSelect->setEnabled(true);
        m_Homing = false;
        releaseFormLock();
    } else {
        // The axis cannot be changed by the user while the search runs.
        btnStart->setEnabled(false);
        framSelect->setEnabled(false);
    }
}

// ---------------------------------------------------------------------------------------------
// Home speed

bool KVLHome::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == txtSpeed) {
        if (isEnterKey(e)) {
            if (txtSpeed_Commit())
                return true;
        } else if (e->type() == QEvent::FocusOut) {
            txtSpeed_Commit();
        }
    }
    return PanelBase::eventFilter(watched, e);
}

bool KVLHome::txtSpeed_Commit()
{
    if (!passesGuards(GuardBound | GuardBus))
        return false;
    // A speed not read is left empty and not sent until one is typed.
    if (m_speedUnread)
        return true;
    QString text = txtSpeed->text();
    Global::CleanNumericText(text);
    txtSpeed->setText(text);
    bool isNumber = false;
    const double speed = NumberText::parseLocale(text, &isNumber);
    // A lone minus sign or separator is no speed, and axis 0 is never addressed.
    if (!isNumber || !isPanelAxis(m_Axis))
        return true;
    return sendCommand(command(m_Axis, QStringLiteral("OH"), valueText(speed))) != -2;
}

const platform::DispatchTable* KVLHome::dispatchTable(const QString& interfaceName) const
{
    static const platform::DispatchTable table = buildTable();
    if (!interfaceName.isEmpty() && interfaceName != table.interfaceName())
        return nullptr;
    return &table;
}
