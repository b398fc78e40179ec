#include "library/panels/KVLCycle.h"

#include "library/link/CGuiState.h"
#include "library/link/Global.h"
#include "library/link/KVLComm.h"
#include "library/link/NumberText.h"
#include "library/link/ReadMarks.h"
#include "platform/com/ClassRegistry.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

std::array<QString, PanelBase::MaxPanelAxes> KVLCycle::gSavedTarg1;
std::array<QString, PanelBase::MaxPanelAxes> KVLCycle::gSavedTarg2;

namespace {

const bool registered = platform::registerClass(QStringLiteral("KVL410ActiveX.KVLCycle"),
                                                [](QWidget* parent) -> QObject* { return new KVLCycle(parent); });

PanelBase::Options cycleOptions()
{
    PanelBase::Options options;
    options.formId = PanelBase::FormCycle;
    options.handlesTimer = true;
    return options;
}

platform::DispatchTable buildTable()
{
    using Args = QVariantList;
    platform::DispatchTable t(QStringLiteral("_KVLCycle"));
    t.put<KVLCycle>(QStringLiteral("CommControl"), 0x68030001,
                    [](KVLCycle& p, Args& a) { p.setCommControl(PanelBase::commFromVariant(a.value(0))); });
    t.method<KVLCycle>(QStringLiteral("StopCycle"), 0x6003000F, [](KVLCycle& p, Args&) { p.StopCycle(); });
    t.put<KVLCycle>(QStringLiteral("ShowFrame"), 0x68030000,
                    [](KVLCycle& p, Args& a) { p.setShowFrame(a.value(0).toBool()); });
    t.get<KVLCycle>(QStringLiteral("ShowFrame"), 0x68030000, [](KVLCycle& p, Args&) { return p.ShowFrame(); });
    return t;
}

// The panel's own short unit names, by the controller's unit code 0 to 11.
const char* const kUnitLabels[12] = {"en", "ms", "mm", "um", "in", "mi", "ui", "deg", "grd", "rad", "mr", "ur"};

// The start picture (a green arrow) and the stop picture (a red square), drawn rather than shipped.
QIcon goPicture(bool stop)
{
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    if (stop) {
        painter.setBrush(QColor(200, 0, 0));
        painter.drawRect(QRectF(6.5, 6.5, 19, 19));
    } else {
        painter.setBrush(QColor(0, 170, 0));
        const QPointF arrow[3] = {QPointF(8, 5), QPointF(27, 16), QPointF(8, 27)};
        painter.drawPolygon(arrow, 3);
    }
    return QIcon(picture);
}

bool isEnterKey(QEvent* e)
{
    if (e->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(e)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// The value of a box's text once cleaned, without touching the box.
double cleanedValue(const QString& text)
{
    QString cleaned = text;
    Global::CleanNumericText(cleaned);
    return NumberText::parseLocale(cleaned);
}

} // namespace

KVLCycle::KVLCycle(QWidget* parent)
    : PanelBase(cycleOptions(), parent)
{
    Q_UNUSED(registered);
    setObjectName(QStringLiteral("KVLCycle"));
    buildControls();
    setOuterFrame(frameCycle, false);

    for (int k = 0; k < MaxPanelAxes; ++k) {
        if (!gSavedTarg1[k].isEmpty()) {
            txtTarg1.at(k)->setText(gSavedTarg1[k]);
            txtTarg2.at(k)->setText(gSavedTarg2[k]);
        }
        m_targets[0][k] = cleanedValue(txtTarg1.at(k)->text());
        m_targets[1][k] = cleanedValue(txtTarg2.at(k)->text());
    }
}

KVLCycle::~KVLCycle()
{
    for (int k = 0; k < MaxPanelAxes; ++k) {
        gSavedTarg1[k] = txtTarg1.at(k)->text();
        gSavedTarg2[k] = txtTarg2.at(k)->text();
    }
}

void KVLCycle::buildControls()
{
    frameCycle = makeFrame(this, QStringLiteral("frameCycle"), QStringLiteral("Cycle"), twips(0, 0, 4695, 4215));
    // The control always has the frame's size.
    setFixedSize(frameCycle->size());

    makeLabel(frameCycle, QStringLiteral("Label4"), QStringLiteral("Position 1"), twips(1080, 240, 1095, 255));
    makeLabel(frameCycle, QStringLiteral("Label5"), QStringLiteral("Position 2"), twips(2760, 240, 1095, 255));

    QFont unitFont = font();
    unitFont.setPointSizeF(8);
    for (int k = 0; k < MaxPanelAxes; ++k) {
        const int top = 510 + 375 * k;
        auto* box = new QCheckBox(QStringLiteral("Axis %1").arg(k + 1), frameCycle);
        box->setObjectName(QStringLiteral("chkAxis_%1").arg(k));
        box->setToolTip(QStringLiteral(" Select an Axis "));
        box->setGeometry(twips(120, top, 900, 285));
        chkAxis.append(box);
        for (int target = 0; target < 2; ++target) {
            QLineEdit* edit = makeLineEdit(frameCycle, QStringLiteral("txtTarg%1_%2").arg(target + 1).arg(k), QString(),
                                           twips(1080 + 1680 * target, top, 1095, 285));
            edit->setToolTip(QStringLiteral(" Enter a Range "));
            addNumberBox(edit, [this, target, k](QLineEdit*) { commitTarget(target, k); });
            (target == 0 ? txtTarg1 : txtTarg2).append(edit);
        }
    }
    // Unit labels 0 to 5 stand beside the position 1 boxes, 6 to 11 beside the position 2 boxes.
    for (int i = 0; i < 2 * MaxPanelAxes; ++i) {
        auto* units = makeLabel(frameCycle, QStringLiteral("lblUnits_%1").arg(i), QStringLiteral("counts"),
                                twips(i < MaxPanelAxes ? 2205 : 3885, 540 + 375 * (i % MaxPanelAxes), 540, 255));
        units->setFont(unitFont);
        lblUnits.append(units);
    }

    makeLabel(frameCycle, QStringLiteral("Label1"), QStringLiteral("Dwell"), twips(120, 2850, 555, 255));
    txtDwell = makeLineEdit(frameCycle, QStringLiteral("txtDwell"), QStringLiteral("1"), twips(720, 2820, 615, 285));
    txtDwell->setToolTip(QStringLiteral(" Enter the Dwell time "));
    txtDwell->installEventFilter(this);
    makeLabel(frameCycle, QStringLiteral("Label2"), QStringLiteral("Seconds"), twips(1395, 2850, 780, 255));

    btnGo = new QPushButton(frameCycle);
    btnGo->setObjectName(QStringLiteral("btnGo"));
    btnGo->setGeometry(twips(120, 3300, 615, 615));
    btnGo->setIconSize(QSize(32, 32));
    connect(btnGo, &QPushButton::clicked, this, &KVLCycle::btnGo_Click);
    showPicture(false);
    makeLabel(frameCycle, QStringLiteral("Label3"), QStringLiteral("Start/Stop All Axes"), twips(840, 3480, 1575, 255));

    makeLabel(frameCycle, QStringLiteral("lblCount0"), QStringLiteral("Cycle Count"), twips(2760, 2850, 1095, 255));
    lblCount = makeLabel(frameCycle, QStringLiteral("lblCount"), QStringLiteral("0"), twips(2760, 3135, 1095, 285));
    lblCount->setToolTip(QStringLiteral(" Number of Cycles "));
    lblCount->setFrameShape(QFrame::Panel);
    lblCount->setFrameShadow(QFrame::Sunken);
    lblCount->setAlignment(Qt::AlignCenter);
    cmdReset = new QPushButton(QStringLiteral("Reset"), frameCycle);
    cmdReset->setObjectName(QStringLiteral("cmdReset"));
    cmdReset->setToolTip(QStringLiteral(" Set the Cycle Counter to Zero "));
    cmdReset->setGeometry(twips(2760, 3540, 1095, 375));
    connect(cmdReset, &QPushButton::clicked, this, &KVLCycle::cmdReset_Click);
}

void KVLCycle::showPicture(bool stop)
{
    btnGo->setIcon(goPicture(stop));
    // The button has no caption; its name says which picture it shows.
    btnGo->setAccessibleName(stop ? QStringLiteral("Stop") : QStringLiteral("Start"));
}

// ---------------------------------------------------------------------------------------------
// Binding and axis set-up

void KVLCycle::setUp()
{
    // A cycle does not carry over to another link.
    if (m_Cycling)
        endCycle();
    InitializeAxes();
}

void KVLCycle::InitializeAxes()
{
    // No bus test: in demo mode every reply is empty and every axis is found without a motor.
    if (!isBound() || !linkOpen())
        return;
    for (int k = 0; k < MaxPanelAxes; ++k) {
        gSavedTarg1[k].clear();
        gSavedTarg2[k].clear();
    }

    auto setRow = [this](int k, bool present) {
        chkAxis.at(k)->setEnabled(present);
        txtTarg1.at(k)->setEnabled(present);
        txtTarg2.at(k)->setEnabled(present);
        lblUnits.at(k)->setVisible(present);
        lblUnits.at(k + MaxPanelAxes)->setVisible(present);
    };

    const int count = probedAxisCount();
    for (int axis = 1; axis <= count; ++axis) {
        int flag = 0;
        const Read read = readFlag(query(axis, QStringLiteral("QM")), flag);
        if (read == Read::Failed)
            return;
        // An axis whose probe went unanswered keeps its row as it was.
        if (read == Read::Read) {
            setRow(axis - 1, flag != 0);
            if (flag == 0)
                continue;
        }
        QString reply;
        const int status = sendQuery(query(axis, QStringLiteral("SN")), reply);
        if (status == -2)
            return;
        if (status != 0)
            continue;
        const int end = reply.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
        bool isNumber = false;
        const double code = std::nearbyint(reply.left(end).trimmed().toDouble(&isNumber));
        if (isNumber && code >= 0 && code <= 11) {
            const QString name = QString::fromLatin1(kUnitLabels[int(code)]);
            lblUnits.at(axis - 1)->setText(name);
            lblUnits.at(axis - 1 + MaxPanelAxes)->setText(name);
        }
    }
    for (int axis = count + 1; axis <= MaxPanelAxes; ++axis)
        setRow(axis - 1, false);
}

// ---------------------------------------------------------------------------------------------
// Start and stop

void KVLCycle::btnGo_Click()
{
    // A running cycle can always be stopped, whatever became of the link.
    if (m_Cycling) {
        stopRunningCycle();
        return;
    }
    if (!passesGuards(GuardBound | GuardBus))
        return;
    takeFormLock(FormJog, FormHome);
    if (!linkOpen()) {
        offerReset();
        releaseFormLock();
        return;
    }

    bool anyTicked = false;
    const int count = probedAxisCount();
    for (int axis = 1; axis <= count; ++axis) {
        const int k = axis - 1;
        if (!chkAxis.at(k)->isChecked())
            continue;
        anyTicked = true;
        double first = 0.0;
        double second = 0.0;
        readBox(txtTarg1.at(k), first);
        readBox(txtTarg2.at(k), second);
        m_targets[0][k] = first;
        m_targets[1][k] = second;
        if (first == second) {
            refuse(QStringLiteral("Positions 1 and 2 have the same value on Axis ") + NumberText::integerText(axis)
                       + QStringLiteral(".\r\n\r\nPlease change the values and try again."),
                   platform::vbMsgBoxSetForeground + platform::vbExclamation, QStringLiteral("Moxtrel"));
            return;
        }
    }
    if (!anyTicked) {
        refuse(QStringLiteral("You must select at least one Axis to Cycle."), platform::vbCritical,
               QStringLiteral("Cycle Error"));
        return;
    }
    m_dwellSeconds = NumberText::parseReply(txtDwell->text());
    startCycle();
}

void KVLCycle::refuse(const QString& prompt, int style, const QString& title)
{
    releaseFormLock();
    raiseCyclingEvent(false);
    m_Cycling = false;
    m_CycleActive = false;
    showPicture(false);
    platform::MsgBox(prompt, style, title);
}

void KVLCycle::startCycle()
{
    // Nothing is sent here: the engine begins at its next acting tick. The lock stays taken.
    m_CycleState = 0;
    m_Cycling = true;
    m_CycleActive = true;
    showPicture(true);
    raiseCyclingEvent(true);
}

void KVLCycle::StopCycle()
{
    // A stop is never unsafe: with a bus chosen the ticked axes are stopped whether or not a cycle
    // runs. Only a lock this panel holds is released. With the link gone there is nothing to send
    // to, but a cycle that ran ends all the same (the link's tick no longer tells the engine).
    if (!busChosen()) {
        if (m_Cycling && !m_stopping)
            endCycle();
        return;
    }
    stopRunningCycle();
}

void KVLCycle::stopRunningCycle()
{
    if (m_stopping)
        return;
    m_stopping = true;
    // The engine stops acting before any stop command goes out.
    m_CycleState = 7;
    m_CycleActive = false;
    ++m_stops;
    QPointer<KVLCycle> self(this);
    for (int axis = 1; axis <= probedAxisCount(); ++axis) {
        if (!chkAxis.at(axis - 1)->isChecked())
            continue;
        const int status = sendCommand(command(axis, QStringLiteral("ST")));
        if (!self)
            return;
        // A broken link ends the cycle all the same.
        if (status == -2)
            break;
        if (!pumpEvents())
            return;
    }
    m_stopping = false;
    endCycle();
}

void KVLCycle::endCycle()
{
    m_CycleState = 7;
    m_CycleActive = false;
    ++m_stops;
    releaseFormLock();
    m_Cycling = false;
    showPicture(false);
    raiseCyclingEvent(false);
}

void KVLCycle::raiseCyclingEvent(bool moving)
{
    bool Moving = moving;
    emit CyclingEvent(Moving);
}

void KVLCycle::cmdReset_Click()
{
    m_MoveCount = 0;
    lblCount->setText(QStringLiteral("0"));
}

// ---------------------------------------------------------------------------------------------
// Engine

void KVLCycle::onTimer()
{
    if (!isBound())
        return;
    // A link that went away mid-cycle ends the cycle; it is not resumed when the link returns.
    if (m_Cycling && !m_stopping && !linkUsable()) {
        endCycle();
        return;
    }
    if (!busChosen())
        return;
    if (!m_ticks.tick() || !m_CycleActive || m_engineRunning)
        return;
    m_engineRunning = true;
    if (runState() == Outcome::Gone)
        return;
    m_engineRunning = false;
}

KVLCycle::Outcome KVLCycle::runState()
{
    Outcome outcome = Outcome::Finished;
    switch (m_CycleState) {
    case 0:
        outcome = sendToTickedAxes(QStringLiteral("MO"), -1);
        if (outcome == Outcome::Finished)
            m_CycleState = 1;
        break;
    case 1:
    case 4:
        outcome = sendToTickedAxes(QStringLiteral("PA"), m_CycleState == 1 ? 0 : 1);
        if (outcome == Outcome::Finished) {
            if (m_MoveCount < std::numeric_limits<qint32>::max())
                ++m_MoveCount;
            lblCount->setText(NumberText::integerText(m_MoveCount));
            m_CycleState = m_CycleState == 1 ? 2 : 5;
        }
        break;
    case 2:
    case 5:
        outcome = pollMotionDone();
        if (outcome == Outcome::Finished) {
            const qint64 now = platform::Clock::tickMs();
            const double ms = m_dwellSeconds * 1000.0;
            // A dwell of 0 or less is over at the next acting tick.
            m_DwellEnd = ms > 0 ? now + qint64(std::min(ms, 1e15)) : now - 1;
            m_CycleState = m_CycleState == 2 ? 3 : 6;
        }
        break;
    case 3:
    case 6:
        if (platform::Clock::tickMs() > m_DwellEnd)
            m_CycleState = m_CycleState == 3 ? 4 : 1;
        break;
    default:
        break;
    }
    return outcome;
}

KVLCycle::Outcome KVLCycle::sendToTickedAxes(const QString& mnemonic, int target)
{
    const quint64 stops = m_stops;
    QPointer<KVLCycle> self(this);
    for (int axis = 1; axis <= probedAxisCount(); ++axis) {
        if (!chkAxis.at(axis - 1)->isChecked())
            continue;
        const QString value = target < 0 ? QString() : valueText(m_targets[target][axis - 1]);
        const int status = sendCommand(command(axis, mnemonic, value));
        const Outcome after = afterExchange(self, status, stops);
        if (after != Outcome::Finished)
            return after;
    }
    return Outcome::Finished;
}

KVLCycle::Outcome KVLCycle::pollMotionDone()
{
    const quint64 stops = m_stops;
    QPointer<KVLCycle> self(this);
    QString reply;
    for (int axis = 1; axis <= probedAxisCount(); ++axis) {
        if (!chkAxis.at(axis - 1)->isChecked())
            continue;
        const int status = sendQuery(query(axis, QStringLiteral("MD"), AxisForm::Blank), reply);
        const Outcome after = afterExchange(self, status, stops);
        if (after != Outcome::Finished)
            return after;
        // An axis is done only by its own answer: a query lost or not sent keeps the cycle waiting.
        int done = 0;
        if (!ReadMarks::replyFlag(status, reply, done) || done == 0)
            return Outcome::Waiting;
    }
    return Outcome::Finished;
}

KVLCycle::Outcome KVLCycle::afterExchange(const QPointer<KVLCycle>& self, int status, quint64 stops)
{
    // Static: the exchange may have destroyed the panel, so it is reached only through self.
    if (!self)
        return Outcome::Gone;
    if (status == -2) {
        self->endCycle();
        return Outcome::Abandoned;
    }
    if (!self->pumpEvents())
        return Outcome::Gone;
    if (self->m_stops != stops)
        return Outcome::Abandoned;
    return Outcome::Finished;
}

// ---------------------------------------------------------------------------------------------
// Boxes

void KVLCycle::commitTarget(int target, int index)
{
    QLineEdit* box = (target == 0 ? txtTarg1 : txtTarg2).at(index);
    reformatBox(box, 4);
    // What the box shows is what the engine moves to.
    m_targets[target][index] = NumberText::parseLocale(box->text());
}

bool KVLCycle::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == txtDwell) {
        if (isEnterKey(e))
            commitDwell(false);
        else if (e->type() == QEvent::FocusOut)
            commitDwell(true);
    }
    return PanelBase::eventFilter(watched, e);
}

void KVLCycle::commitDwell(bool leaving)
{
    QString text = txtDwell->text();
    Global::CleanNumericText(text);
    const float seconds = static_cast<float>(NumberText::parseLocale(text));
    txtDwell->setText(NumberText::displayText(seconds, 0));
    m_dwellSeconds = NumberText::parseLocale(txtDwell->text());
    if (leaving && m_dwellSeconds <= 0) {
        platform::MsgBox(QStringLiteral("You must enter a dwell value greater than zero.\rPlease change the value and try again."),
                         platform::vbMsgBoxSetForeground + platform::vbExclamation, QStringLiteral("KVL7100"));
        txtDwell->setFocus();
    }
}

const platform::DispatchTable* KVLCycle::dispatchTable(const QString& interfaceName) const
{
    static const platform::DispatchTable table = buildTable();
    if (!interfaceName.isEmpty() && interfaceName != table.interfaceName())
        return nullptr;
    return &table;
}

QVector<QPair<int, QString>> KVLCycle::eventTable() const
{
    return {{1, QStringLiteral("CyclingEvent")}};
}
