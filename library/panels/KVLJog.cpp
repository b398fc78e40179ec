#include "library/panels/KVLJog.h"

#include "library/link/CGuiState.h"
#include "library/link/Global.h"
#include "library/link/KVLComm.h"
#include "library/link/NumberText.h"
#include "library/link/ReadMarks.h"
#include "library/panels/JogButton.h"
#include "platform/com/ClassRegistry.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const bool registered = platform::registerClass(QStringLiteral("KVL410ActiveX.KVLJog"),
                                                [](QWidget* parent) -> QObject* { return new KVLJog(parent); });

PanelBase::Options jogOptions()
{
    PanelBase::Options options;
    options.formId = PanelBase::FormJog;
    return options;
}

short status16(int status)
{
    return static_cast<short>(std::clamp(status, int(std::numeric_limits<short>::min()),
                                         int(std::numeric_limits<short>::max())));
}

// A reply's number as the 16-bit flag the waits test: non-zero means done. Too large a number
// counts as non-zero rather than failing.
bool doneFlag(const QString& answer)
{
    return std::nearbyint(NumberText::parseReply(answer)) != 0;
}

// The panels' common font; the captions in its bold face.
QFont panelFont(const QWidget* panel, bool bold)
{
    QFont font = panel->font();
    font.setBold(bold);
    return font;
}

platform::DispatchTable buildTable()
{
    using Args = QVariantList;
    platform::DispatchTable t(QStringLiteral("_KVLJog"));
    t.put<KVLJog>(QStringLiteral("CommControl"), 0x68030002,
                  [](KVLJog& p, Args& a) { p.setCommControl(PanelBase::commFromVariant(a.value(0))); });
    t.method<KVLJog>(QStringLiteral("GTrim2"), 0x60030004,
                     [](KVLJog& p, Args& a) { return p.GTrim2(a.value(0).toString()); });
    t.method<KVLJog>(QStringLiteral("MoveInfinite"), 0x60030009, [](KVLJog& p, Args& a) {
        return p.MoveInfinite(NumberText::argI16(a.value(0)), NumberText::argI16(a.value(1)),
                              NumberText::argDouble(a.value(2)));
    });
    t.method<KVLJog>(QStringLiteral("StopJog"), 0x6003000F,
                     [](KVLJog& p, Args& a) { return p.StopJog(NumberText::argI16(a.value(0))); });
    t.put<KVLJog>(QStringLiteral("ErrorControl"), 0x68030001,
                  [](KVLJog& p, Args& a) { p.setErrorControl(a.value(0).value<QObject*>()); });
    t.put<KVLJog>(QStringLiteral("ShowFrame"), 0x68030000,
                  [](KVLJog& p, Args& a) { p.setShowFrame(a.value(0).toBool()); });
    t.get<KVLJog>(QStringLiteral("ShowFrame"), 0x68030000, [](KVLJog& p, Args&) { return p.ShowFrame(); });
    return t;
}

} // namespace

KVLJog::KVLJog(QWidget* parent)
    : PanelBase(jogOptions(), parent)
{
    Q_UNUSED(registered);
    setObjectName(QStringLiteral("KVLJog"));
    Global::InitUnitNames();
    buildControls();
    setOuterFrame(fraJogControl, false);
}

KVLJog::~KVLJog()
{
    m_destroying = true;
    stopHeldMotion();
}

void KVLJog::buildControls()
{
    setFont(panelFont(this, true));
    resize(twips(0, 0, 6375, 4830).size());

    fraJogControl = makeFrame(this, QStringLiteral("fraJogControl"), QStringLiteral("Jog"), twips(5, 5, 6300, 4605));

    QGroupBox* frame2 = makeFrame(fraJogControl, QStringLiteral("Frame2"), QStringLiteral("Mode"),
                                  twips(120, 240, 1455, 855));
    const QStringList modes{QStringLiteral("Indexed"), QStringLiteral("Free Run")};
    for (int i = 0; i < modes.size(); ++i) {
        auto* option = new QRadioButton(modes.at(i), frame2);
        option->setObjectName(QStringLiteral("optMode_%1").arg(i));
        option->setGeometry(twips(120, 240 + 240 * i, 975, 255));
        connect(option, &QRadioButton::clicked, this, [this, i] { optMode_Click(i); });
        optMode.append(option);
    }
    optMode.at(1)->setChecked(true);

    QGroupBox* frameX = makeFrame(fraJogControl, QStringLiteral("frameJogXAxis"), QStringLiteral("X-Axis"),
                                  twips(120, 1200, 1455, 1575));
    QGroupBox* frameY = makeFrame(fraJogControl, QStringLiteral("frameJogYAxis"), QStringLiteral("Y-Axis"),
                                  twips(120, 2880, 1455, 1575));
    for (int row = 0; row < 2; ++row) {
        QGroupBox* box = row == 0 ? frameX : frameY;
        QVector<QRadioButton*>& options = row == 0 ? optJogAxisX : optJogAxisY;
        const QString name = row == 0 ? QStringLiteral("optJogAxisX_%1") : QStringLiteral("optJogAxisY_%1");
        for (int i = 0; i < MaxPanelAxes; ++i) {
            auto* option = new QRadioButton(QString::number(i + 1), box);
            option->setObjectName(name.arg(i));
            option->setGeometry(twips(i < 3 ? 240 : 840, 360 + 360 * (i % 3), 400, 255));
            connect(option, &QRadioButton::toggled, this, [this, row, i](bool on) {
                if (on)
                    optJogAxis_Selected(row, i);
            });
            options.append(option);
        }
    }

    QGroupBox* frameDist = makeFrame(fraJogControl, QStringLiteral("frameJogDist"), QStringLiteral("Index Distance"),
                                     twips(1800, 240, 1935, 1092));
    QGroupBox* fraSpeed = makeFrame(fraJogControl, QStringLiteral("fraSpeed"), QStringLiteral("Speed"),
                                    twips(3840, 240, 2295, 1092));
    makeLabel(frameDist, QStringLiteral("Label1"), QStringLiteral("X"), twips(120, 240, 240, 255));
    makeLabel(frameDist, QStringLiteral("Label2"), QStringLiteral("Y"), twips(120, 600, 240, 255));
    makeLabel(fraSpeed, QStringLiteral("Label7"), QStringLiteral("X"), twips(120, 240, 240, 255));
    makeLabel(fraSpeed, QStringLiteral("Label8"), QStringLiteral("Y"), twips(120, 600, 240, 255));
    // The X and Y distance boxes, then the X and Y speed boxes.
    struct BoxGroup {
        QGroupBox* frame;
        QString name;
        QString text;
        QVector<QLineEdit*>& boxes;
    };
    const BoxGroup boxGroups[2] = {
        {frameDist, QStringLiteral("txtDistance_%1"), QString(), txtDistance},
        {fraSpeed, QStringLiteral("txtSpeed_%1"), QStringLiteral("1.000"), txtSpeed}};
    for (const BoxGroup& group : boxGroups) {
        for (int i = 0; i < 2; ++i) {
            QLineEdit* box = makeLineEdit(group.frame, group.name.arg(i), group.text,
                                          twips(360, 240 + 360 * i, 1150, 285));
            box->setFont(panelFont(this, false));
            group.boxes.append(box);
            addNumberBox(box, [](QLineEdit* edit) { reformatBox(edit, 4); });
        }
    }
    for (int row = 0; row < 2; ++row)
        connect(txtSpeed.at(row), &QLineEdit::textEdited, this, [this, row] { m_speedUnread[row] = false; });
    for (int i = 0; i < 4; ++i) {
        QGroupBox* box = i < 2 ? frameDist : fraSpeed;
        QLabel* units = makeLabel(box, QStringLiteral("lblUnits_%1").arg(i), QStringLiteral("mm"),
                                  twips(1560, 270 + 360 * (i % 2), box->width() * 15 - 1560 - 30, 255));
        units->setFont(panelFont(this, false));
        reserveUnitRoom(units, i < 2 ? QStringLiteral("%1") : QStringLiteral("%1/sec"));
        lblUnits.append(units);
    }

    frameJogArrow = makeFrame(fraJogControl, QStringLiteral("frameJogArrow"), QString(), twips(1800, 1560, 4335, 2895));
    makeLabel(frameJogArrow, QStringLiteral("lblJog"), QStringLiteral("Jog"), twips(240, 0, 600, 255));
    const QRect buttonPlaces[4] = {twips(1320, 1320, 615, 495), twips(2400, 1320, 615, 495),
                                   twips(1920, 720, 495, 615), twips(1920, 1800, 495, 615)};
    const QStyle::StandardPixmap arrows[4] = {QStyle::SP_ArrowLeft, QStyle::SP_ArrowRight, QStyle::SP_ArrowUp,
                                              QStyle::SP_ArrowDown};
    for (int k = 0; k < 4; ++k) {
        auto* button = new JogButton(frameJogArrow);
        button->setObjectName(QStringLiteral("btnJog_%1").arg(k));
        button->setGeometry(buttonPlaces[k]);
        button->setIcon(style()->standardIcon(arrows[k]));
        connect(button, &JogButton::MouseDown, this, [this, k] { btnJog_MouseDown(k); });
        connect(button, &JogButton::MouseUp, this, [this, k] { btnJog_MouseUp(k); });
        connect(button, &JogButton::Click, this, [this, k] { btnJog_Click(k); });
        btnJog.append(button);
    }
    makeLabel(frameJogArrow, QStringLiteral("Label3"), QStringLiteral("-X"), twips(960, 1440, 300, 255));
    makeLabel(frameJogArrow, QStringLiteral("Label6"), QStringLiteral("+X"), twips(3000, 1440, 300, 255));
    makeLabel(frameJogArrow, QStringLiteral("Label4"), QStringLiteral("+Y"), twips(2040, 480, 300, 255));
    makeLabel(frameJogArrow, QStringLiteral("Label5"), QStringLiteral("-Y"), twips(2040, 2520, 300, 255));
}

// ---------------------------------------------------------------------------------------------
// Binding and axis set-up

void KVLJog::setUp()
{
    InitializeAxes();
    m_FreeRun = true;
}

void KVLJog::setErrorControl(QObject* errorPanel)
{
    Q_UNUSED(errorPanel);
}

void KVLJog::InitializeAxes()
{
    if (!isBound())
        return;
    if (m_CommControl->BusType() == BUS_TYPE_NONE) {
        QPointer<KVLJog> self(this);
        optJogAxisX.at(0)->setChecked(true);
        if (!self)
            return;
        optJogAxisY.at(0)->setChecked(true);
        if (!self)
            return;
        m_XAxis = 1;
        m_YAxis = 1;
        return;
    }
    if (!linkOpen())
        return;

    const int probed = probeMotors(m_MotorPresent, [this](int axis, int flag) {
        optJogAxisX.at(axis - 1)->setEnabled(flag != 0);
        optJogAxisY.at(axis - 1)->setEnabled(flag != 0);
    });
    if (probed == -2)
        return;

    // An axis whose probe went unanswered keeps its option as it was, but is not chosen for it.
    QVector<int> withMotor;
    for (int axis = 1; axis <= MaxPanelAxes; ++axis) {
        if (m_MotorPresent[axis - 1] > 0)
            withMotor.append(axis);
    }
    if (withMotor.isEmpty())
        return;
    const int x = withMotor.at(0);
    const int y = withMotor.size() > 1 ? withMotor.at(1) : x;
    QPointer<KVLJog> self(this);
    optJogAxisX.at(x - 1)->setChecked(true);
    if (!self)
        return;
    optJogAxisY.at(y - 1)->setChecked(true);
    if (!self)
        return;
    m_XAxis = short(x);
    m_YAxis = short(y);
}

void KVLJog::optJogAxis_Selected(int row, int index)
{
    // Before binding there is no control to ask.
    if (!isBound())
        return;
    if (m_CommControl->BusType() != BUS_TYPE_NONE && mobjGuiState && mobjGuiState->MaxAxes() < MaxPanelAxes) {
        const int lowest = std::max(0, int(mobjGuiState->MaxAxes()));
        for (int i = MaxPanelAxes - 1; i >= lowest; --i) {
            optJogAxisX.at(i)->setEnabled(false);
            optJogAxisY.at(i)->setEnabled(false);
        }
    }
    const QVector<QRadioButton*>& options = row == 0 ? optJogAxisX : optJogAxisY;
    if (!options.at(index)->isChecked())
        return;

    btnJog.at(row * 2)->setEnabled(true);
    btnJog.at(row * 2 + 1)->setEnabled(true);
    const short axis = short(index + 1);
    if (row == 0)
        m_XAxis = axis;
    else
        m_YAxis = axis;

    // These two queries take no failure path; a reply not read shows nothing, never code 0's
    // unit or a speed of 0. Demo mode, where nothing is read, shows both as 0 as designed.
    const bool demo = m_CommControl->BusType() == BUS_TYPE_NONE;
    const auto ask = [this, demo](const QString& line, QString& reply) {
        const int status = m_CommControl->SendReadAscii(line, reply);
        if (demo)
            reply = QStringLiteral("0");
        return demo ? 0 : status;
    };
    QString reply;
    int status = ask(query(axis, QStringLiteral("SN"), AxisForm::Blank), reply);
    if (!pumpEvents() || !isBound())
        return;
    double code = -1;
    ReadMarks::replyValue(status, reply, ReadMarks::Reply::Decimal, NumberText::Target::I16, code);
    // An unknown unit code shows no unit.
    const bool known = code >= 0 && code < Global::UnitNameSlots;
    const QString unit = known ? Global::gUnitNames[int(code)] : QString();
    lblUnits.at(row)->setText(unit);
    lblUnits.at(row + 2)->setText(known ? unit + QStringLiteral("/sec") : QString());

    reply.clear();
    status = ask(query(axis, QStringLiteral("VA"), AxisForm::Blank), reply);
    showSpeed(row, status, reply);

    reformatBox(txtDistance.at(0), 4);
    reformatBox(txtDistance.at(1), 4);
}

void KVLJog::optMode_Click(int index)
{
    m_FreeRun = index == 1;
}

short KVLJog::axisOfButton(int k) const
{
    return k < 2 ? m_XAxis : m_YAxis;
}

void KVLJog::showSpeed(int row, int status, const QString& reply)
{
    double speed = 0;
    const bool read = ReadMarks::replyValue(status, reply, ReadMarks::Reply::Decimal, NumberText::Target::Double, speed);
    m_speedUnread[row] = !read;
    txtSpeed.at(row)->setText(read ? NumberText::displayText(speed, 4) : QString());
}

bool KVLJog::numberBoxUnread(const QLineEdit* box) const
{
    const int row = txtSpeed.indexOf(const_cast<QLineEdit*>(box));
    return row >= 0 && m_speedUnread[row];
}

bool KVLJog::readSpeedAgain(int k)
{
    const int row = k < 2 ? 0 : 1;
    if (!m_speedUnread[row])
        return true;
    const short axis = axisOfButton(k);
    if (!isPanelAxis(axis))
        return false;
    QString reply;
    const int status = sendQuery(query(axis, QStringLiteral("VA"), AxisForm::Blank), reply);
    if (status == -2)
        return false;
    showSpeed(row, status, reply);
    if (!m_speedUnread[row])
        return true;
    // Told once the press has been handled: a box opened inside it would keep its release.
    QTimer::singleShot(0, this, [axis] {
        platform::MsgBox(QStringLiteral("The jog speed of Axis ") + NumberText::integerText(axis)
                             + QStringLiteral(" could not be read from the controller.\r\n\r\n"
                                              "Enter a speed and try again."),
                         platform::vbExclamation, QStringLiteral("Jog"));
    });
    return false;
}

bool KVLJog::jogRequest(int k, const QVector<QLineEdit*>& boxes, short& axis, double& value)
{
    axis = axisOfButton(k);
    if (!isPanelAxis(axis) || m_MotorPresent[axis - 1] == 0)
        return false;
    return readBox(boxes.at(k < 2 ? 0 : 1), value);
}

// ---------------------------------------------------------------------------------------------
// Indexed mode

void KVLJog::btnJog_Click(int k)
{
    if (!isBound() || m_CommControl->BusType() == BUS_TYPE_NONE)
        return;
    // Released on every way out, also when nothing is sent.
    FormLockScope lock(*this, FormCycle, FormHome);
    if (!linkOpen() || m_FreeRun)
        return;
    short axis = 0;
    double typed = 0.0;
    if (!jogRequest(k, txtDistance, axis, typed))
        return;
    const float size = std::fabs(static_cast<float>(typed));
    if (!std::isfinite(size))
        return;
    // The typed sign is ignored: the button gives the direction.
    MoveRelative(axis, (k == 1 || k == 2) ? size : -size);
}

short KVLJog::MoveRelative(short Axis, float Distance)
{
    if (!linkOpen())
        return 0;
    if (!isPanelAxis(Axis))
        return -1;
    const quint64 stops = m_stopRequests;
    if (const short on = motorOn(Axis, stops); on != 0)
        return on;
    return status16(sendCommand(command(Axis, QStringLiteral("PR"), valueText(Distance))));
}

short KVLJog::motorOn(short axis, quint64 stops)
{
    if (sendCommand(command(axis, QStringLiteral("MO"))) == -2)
        return -2;
    if (!pumpEvents())
        return -1;
    if (m_stopRequests != stops)
        return -1;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Free Run mode

void KVLJog::btnJog_MouseDown(int k)
{
    if (!isBound() || m_CommControl->BusType() == BUS_TYPE_NONE || m_MouseBusy)
        return;
    m_MouseBusy = true;
    if (!linkOpen() || !m_FreeRun)
        return;
    short axis = 0;
    double speed = 0.0;
    // A speed never read nor typed is never sent: it is read again, or the jog is refused.
    if (!readSpeedAgain(k) || !jogRequest(k, txtSpeed, axis, speed))
        return;
    const short direction = (k == 0 || k == 3) ? -1 : 1;
    m_heldAxis = axis;
    MoveInfinite(axis, direction, speed);
}

void KVLJog::btnJog_MouseUp(int k)
{
    if (!isBound())
        return;
    // A release always clears what its press set, also when the link closed meanwhile (a press
    // made during the reset wait must not block every later one).
    m_MouseBusy = false;
    const short held = m_heldAxis;
    if (m_FreeRun || held != 0) {
        // A start still under way sends nothing more.
        ++m_stopRequests;
        m_heldAxis = 0;
    }
    // Without an open link nothing can go out, the stop included. A link that broke while the
    // button was held had the held axis stopped already: the link's LinkGivingUp runs
    // stopHeldMotion while its port is still open.
    if (!linkOpen() || m_CommControl->BusType() == BUS_TYPE_NONE)
        return;
    // The axis this press started is stopped even if the mode changed while the button was held.
    const short axis = m_FreeRun ? axisOfButton(k) : held;
    if (isPanelAxis(axis))
        StopJog(axis);
}

short KVLJog::MoveInfinite(short Axis, short Direction, double JogSpeed)
{
    if (!linkOpen())
        return 0;
    if (!isPanelAxis(Axis))
        return -1;
    const quint64 stops = m_stopRequests;
    switch (waitForMotionDone(Axis, stops)) {
    case WaitEnd::Done:
        break;
    case WaitEnd::Failed:
        return -2;
    case WaitEnd::Abandoned:
    case WaitEnd::Gone:
        return -1;
    }
    if (m_stopRequests != stops)
        return -1;
    if (sendCommand(command(Axis, QStringLiteral("VA"), valueText(JogSpeed))) == -2)
        return -2;
    if (const short on = motorOn(Axis, stops); on != 0)
        return on;
    const QString move = Direction == -1 ? QStringLiteral("MV-") : QStringLiteral("MV+");
    return status16(sendCommand(command(Axis, move)));
}

KVLJog::WaitEnd KVLJog::waitForMotionDone(short axis, quint64 stopRequests)
{
    const qint64 deadline = platform::Clock::tickMs() + MotionDoneLimitMs;
    for (;;) {
        int status = 0;
        const QString answer = SendQuery(query(axis, QStringLiteral("MD")), &status);
        if (status == -2)
            return WaitEnd::Failed;
        const bool done = doneFlag(answer);
        if (!pumpEvents(done ? 0 : PollIntervalMs))
            return WaitEnd::Gone;
        if (done)
            return WaitEnd::Done;
        if (m_stopRequests != stopRequests || !linkUsable() || platform::Clock::tickMs() >= deadline)
            return WaitEnd::Abandoned;
    }
}

short KVLJog::StopJog(short Axis)
{
    if (!linkOpen())
        return 0;
    if (!isPanelAxis(Axis))
        return -1;
    ++m_stopRequests;
    if (m_heldAxis == Axis)
        m_heldAxis = 0;
    if (sendCommand(command(Axis, QStringLiteral("ST"))) == -2)
        return -2;
    frameJogArrow->setEnabled(false);

    const qint64 deadline = platform::Clock::tickMs() + MotionDoneLimitMs;
    short result = 0;
    for (int polls = 1;; ++polls) {
        int status = 0;
        const QString answer = SendQuery(query(Axis, QStringLiteral("MD")), &status);
        // A failed poll has been reported and ends the wait.
        const bool failed = status == -2;
        const bool done = failed || doneFlag(answer);
        if (failed)
            result = -2;
        if (!pumpEvents(done ? 0 : PollIntervalMs))
            return result;
        // The stop is sent once more right after the fifth poll, whatever it answered. Should it
        // fail, the link is gone: the arrows come back rather than stay dead.
        if (polls == 5 && sendCommand(command(Axis, QStringLiteral("ST"))) == -2) {
            frameJogArrow->setEnabled(true);
            return -2;
        }
        if (done || !linkUsable() || platform::Clock::tickMs() >= deadline)
            break;
    }
    frameJogArrow->setEnabled(true);
    return result;
}

QString KVLJog::SendQuery(const QString& command, int* status)
{
    if (status)
        *status = 0;
    if (!linkOpen())
        return QString();
    QString reply;
    const int result = sendQuery(command, reply);
    if (status)
        *status = result;
    if (result == -2)
        return QStringLiteral("-2");
    // A poll not answered reads as no answer, never as "done".
    if (result != 0)
        return QString();
    return GTrim2(reply);
}

QString KVLJog::GTrim2(const QString& buffer) const
{
    QString result;
    const int last = std::min<int>(buffer.size(), 200);
    for (int i = 0; i < last; ++i) {
        const QChar c = buffer.at(i);
        const bool lineEnd = c == QLatin1Char('\r') || c == QLatin1Char('\n');
        if (!lineEnd) {
            result += c;
            continue;
        }
        // Positions 1 and 2 (indices 0 and 1) may hold the end of an earlier line.
        if (i >= 2)
            return result;
    }
    return QString();
}

// ---------------------------------------------------------------------------------------------
// Loss of control: the held axis is stopped at once, without waiting, and a start still under way
// is cancelled.

void KVLJog::stopHeldMotion()
{
    ++m_stopRequests;
    m_MouseBusy = false;
    const short axis = m_heldAxis;
    m_heldAxis = 0;
    if (!isPanelAxis(axis) || !linkUsable())
        return;
    const int status = m_CommControl->SendAscii(command(axis, QStringLiteral("ST")));
    // A destructor reports nothing: the host may be tearing down.
    if (status == -2 && !m_destroying)
        reportLinkFailure();
}

// ---------------------------------------------------------------------------------------------

const platform::DispatchTable* KVLJog::dispatchTable(const QString& interfaceName) const
{
    static const platform::DispatchTable table = buildTable();
    if (!interfaceName.isEmpty() && interfaceName != table.interfaceName())
        return nullptr;
    return &table;
}
