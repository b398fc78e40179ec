#include "library/panels/PanelBase.h"

#include "library/link/CGuiState.h"
#include "library/link/Global.h"
#include "library/link/KVLComm.h"
#include "library/link/KVLGlobal.h"
#include "library/link/NumberText.h"
#include "library/link/ReadMarks.h"
#include "platform/RuntimeError.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/ProgramFont.h"
#include "platform/ui/TextFit.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFont>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>

using platform::RuntimeError;

namespace {

const QString kShowFrameKey = QStringLiteral("ShowFrame");

} // namespace

PanelBase::PanelBase(const Options& options, QWidget* parent)
    : platform::Control(parent)
    , m_options(options)
{
    // The layouts are placed in twips for the controller family's usual 8-point dialog font; a
    // host's larger default would clip captions. The family stays the host's.
    QFont small = font();
    small.setPointSizeF(platform::ProgramFont::PointSize);
    setFont(small);
}

PanelBase::~PanelBase()
{
    // A panel that goes while it holds the lock frees the other panels; its own FormStatus
    // handler is no longer wanted.
    if (mobjGuiState)
        disconnect(mobjGuiState, nullptr, this, nullptr);
    releaseFormLock();
}

// ---------------------------------------------------------------------------------------------
// Binding

void PanelBase::setCommControl(KVLComm* comm)
{
    // The lock belongs to the state it was taken on.
    releaseFormLock();
    if (m_CommControl)
        disconnect(m_CommControl, nullptr, this, nullptr);
    if (mobjGuiState)
        disconnect(mobjGuiState, nullptr, this, nullptr);
    m_CommControl = comm;
    mobjGuiState = nullptr;
    if (!comm)
        return;
    // Motion the panel holds is stopped before a failed link is given up.
    connect(comm, &KVLComm::LinkGivingUp, this, [this] { stopHeldMotion(); });
    if (m_options.handlesTimer)
        connect(comm, &KVLComm::Timer, this, [this] {
            if (m_CommControl && m_CommControl->takeTickTurn(m_tickLeft))
                onTimer();
        });
    if (m_options.keepsGuiState) {
        mobjGuiState = comm->GetGuiStateObject();
        connectGuiState();
    }
    setUp();
    fitTexts();
}

void PanelBase::fitTexts()
{
    withWidestUnits([this] { platform::TextFit::fit(this); });
}

void PanelBase::reserveUnitRoom(QLabel* label, const QString& pattern)
{
    m_unitLabels.append(qMakePair(QPointer<QLabel>(label), pattern));
}

void PanelBase::withWidestUnits(const std::function<void()>& fit)
{
    QList<QPair<QPointer<QLabel>, QString>> shown;
    for (const auto& [label, pattern] : m_unitLabels) {
        if (!label)
            continue;
        shown.append(qMakePair(label, label->text()));
        QString widest = label->text();
        const QFontMetrics fm(label->font());
        for (const QString& name : Global::gUnitNames) {
            const QString text = pattern.arg(name);
            if (fm.horizontalAdvance(text) > fm.horizontalAdvance(widest))
                widest = text;
        }
        label->setText(widest);
    }
    fit();
    for (const auto& [label, text] : shown) {
        if (label)
            label->setText(text);
    }
}

void PanelBase::connectGuiState()
{
    if (!mobjGuiState)
        return;
    connect(mobjGuiState, &CGuiState::FormStatus, this,
            [this](short FormID, short State) { onFormStatus(FormID, State); });
    if (m_options.handlesAxisChange) {
        connect(mobjGuiState, &CGuiState::AxisChange, this,
                [this](short NewAxis, short OldAxis) { onAxisChange(NewAxis, OldAxis); });
    }
}

KVLComm* PanelBase::commFromVariant(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return nullptr;
    QObject* object = value.value<QObject*>();
    auto* comm = qobject_cast<KVLComm*>(object);
    if (!comm)
        throw RuntimeError::standard(RuntimeError::TypeMismatch);
    return comm;
}

void PanelBase::onFormStatus(short FormID, short State)
{
    if (m_options.formId != FormNone && FormID == m_options.formId)
        setEnabled(State != 0);
}

void PanelBase::onAxisChange(short NewAxis, short OldAxis)
{
    Q_UNUSED(OldAxis);
    if (!isPanelAxis(NewAxis) || NewAxis > m_followed.size())
        return;
    if (QAbstractButton* option = m_followed.at(NewAxis - 1))
        option->setChecked(true);
}

void PanelBase::followCurrentAxis(const QList<QAbstractButton*>& options)
{
    m_followed.clear();
    for (int i = 0; i < options.size() && i < MaxPanelAxes; ++i) {
        m_followed.append(options.at(i));
        connect(options.at(i), &QAbstractButton::toggled, this, [this, i](bool on) {
            if (on && mobjGuiState)
                mobjGuiState->setCurrentAxis(short(i + 1));
        });
    }
}

// ---------------------------------------------------------------------------------------------
// Guards and exchange

bool PanelBase::busChosen() const
{
    return m_CommControl && m_CommControl->BusType() != BUS_TYPE_NONE;
}

bool PanelBase::linkOpen() const
{
    return m_CommControl && m_CommControl->IsOpen();
}

bool PanelBase::passesGuards(int guards) const
{
    if (!m_CommControl)
        return guards == 0;
    if ((guards & GuardBus) && m_CommControl->BusType() == BUS_TYPE_NONE)
        return false;
    if ((guards & GuardOpen) && !m_CommControl->IsOpen())
        return false;
    return true;
}

int PanelBase::sendCommand(const QString& line)
{
    if (!m_CommControl)
        return -1;
    const int status = m_CommControl->SendAscii(line);
    if (status == -2)
        return reportLinkFailure();
    return status;
}

int PanelBase::sendQuery(const QString& line, QString& reply)
{
    if (!m_CommControl)
        return -1;
    const int status = m_CommControl->SendReadAscii(line, reply);
    m_queryNotSent = status == KVLComm::QueryNotSent;
    if (status == -2)
        return reportLinkFailure();
    return status;
}

void PanelBase::pollInTurn(int count, int& next, const std::function<bool(int index)>& poll)
{
    const int first = (next >= 0 && next < count) ? next : 0;
    next = 0;
    for (int n = 0; n < count; ++n) {
        const int index = (first + n) % count;
        m_queryNotSent = false;
        if (!poll(index))
            return;
        if (m_CommControl && m_CommControl->TickBurstSpent()) {
            if (m_queryNotSent)
                next = index;
            else if (n + 1 < count)
                next = (index + 1) % count;
            return;
        }
    }
}

int PanelBase::reportLinkFailure()
{
    RuntimeError error = RuntimeError::standard(RuntimeError::BreakInCommunications);
    if (m_CommControl)
        m_CommControl->HandleError(error);
    return -2;
}

void PanelBase::offerReset()
{
    if (m_CommControl)
        KVLGlobal::ResetSystem(*m_CommControl);
}

bool PanelBase::pumpEvents(int ms)
{
    // Only the local pointer is read after the pump: the panel may be gone by then.
    QPointer<PanelBase> self(this);
    BusyScope busy(*this);
    if (ms <= 0)
        platform::Clock::pumpOnce();
    else
        platform::Clock::pumpFor(ms);
    return !self.isNull();
}

// ---------------------------------------------------------------------------------------------
// Command text and replies

QString PanelBase::axisText(int axis, AxisForm form)
{
    const QString digits = NumberText::integerText(axis);
    return form == AxisForm::Blank ? QLatin1Char(' ') + digits : digits;
}

QString PanelBase::command(int axis, const QString& mnemonic, const QString& value, AxisForm form)
{
    return axisText(axis, form) + mnemonic + value + QLatin1Char('\r');
}

QString PanelBase::query(int axis, const QString& mnemonic, AxisForm form)
{
    return axisText(axis, form) + mnemonic + QLatin1Char('?') + QLatin1Char('\r');
}

QString PanelBase::controllerCommand(const QString& mnemonic)
{
    return mnemonic + QLatin1Char('\r');
}

QString PanelBase::valueText(double value)
{
    return NumberText::blankSignedDouble(value);
}

QString PanelBase::valueText(float value)
{
    return NumberText::blankSignedSingle(value);
}

QRect PanelBase::twips(int left, int top, int width, int height)
{
    return QRect(qRound(left / 15.0), qRound(top / 15.0), qRound(width / 15.0), qRound(height / 15.0));
}

// ---------------------------------------------------------------------------------------------
// Axis probing

int PanelBase::probedAxisCount() const
{
    if (!mobjGuiState)
        return 0;
    return std::clamp(int(mobjGuiState->MaxAxes()), 0, int(MaxPanelAxes));
}

int PanelBase::probeMotors(MotorTable& table, const std::function<void(int axis, int flag)>& perAxis)
{
    table.fill(0);
    const int count = probedAxisCount();
    for (int axis = 1; axis <= count; ++axis)
        table[axis - 1] = MotorUnread;
    for (int axis = 1; axis <= count; ++axis) {
        int flag = 0;
        const Read read = readFlag(query(axis, QStringLiteral("QM")), flag);
        if (read == Read::Failed)
            return -2;
        if (read == Read::Unread)
            continue;
        table[axis - 1] = flag;
        if (perAxis)
            perAxis(axis, flag);
    }
    return 0;
}

void PanelBase::enableAxisOptions(const QList<QAbstractButton*>& options, const MotorTable& table)
{
    for (int i = 0; i < options.size() && i < MaxPanelAxes; ++i) {
        if (table[i] != MotorUnread)
            options.at(i)->setEnabled(table[i] != 0);
    }
}

PanelBase::Read PanelBase::readValue(const QString& line, NumberText::Target target, double& value)
{
    QString reply;
    const int status = sendQuery(line, reply);
    if (status == -2)
        return Read::Failed;
    // Demo mode answers every query with nothing, which it shows as 0 as designed.
    if (!busChosen()) {
        value = 0;
        return Read::Read;
    }
    return ReadMarks::replyValue(status, reply, ReadMarks::Reply::Decimal, target, value) ? Read::Read : Read::Unread;
}

PanelBase::Read PanelBase::readFlag(const QString& line, int& flag)
{
    QString reply;
    const int status = sendQuery(line, reply);
    if (status == -2)
        return Read::Failed;
    if (!busChosen()) {
        flag = 0;
        return Read::Read;
    }
    return ReadMarks::replyFlag(status, reply, flag) ? Read::Read : Read::Unread;
}

// ---------------------------------------------------------------------------------------------
// Building controls

QGroupBox* PanelBase::makeFrame(QWidget* parent, const QString& name, const QString& caption, const QRect& place)
{
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(name);
    box->setGeometry(place);
    return box;
}

QLabel* PanelBase::makeLabel(QWidget* parent, const QString& name, const QString& caption, const QRect& place)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setGeometry(place);
    return label;
}

QLineEdit* PanelBase::makeLineEdit(QWidget* parent, const QString& name, const QString& text, const QRect& place)
{
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    edit->setGeometry(place);
    return edit;
}

// ---------------------------------------------------------------------------------------------
// Number boxes

void PanelBase::addNumberBox(QLineEdit* box, std::function<void(QLineEdit*)> committed)
{
    m_numberBoxes.append({QPointer<QLineEdit>(box), std::move(committed)});
    box->installEventFilter(this);
}

bool PanelBase::eventFilter(QObject* watched, QEvent* e)
{
    const bool enter = e->type() == QEvent::KeyPress
        && (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Return || static_cast<QKeyEvent*>(e)->key() == Qt::Key_Enter);
    if (enter || e->type() == QEvent::FocusOut) {
        for (const auto& entry : std::as_const(m_numberBoxes)) {
            if (entry.first != watched)
                continue;
            QLineEdit* box = entry.first;
            if (numberBoxUnread(box))
                break;
            QString text = box->text();
            box->setText(Global::CleanNumericText(text));
            if (entry.second)
                entry.second(box);
            break;
        }
    }
    if (watched == m_watchedWindow && e->type() == QEvent::WindowStateChange)
        refreshIfStale();
    return platform::Control::eventFilter(watched, e);
}

bool PanelBase::cleanBox(QLineEdit* box)
{
    QString text = box->text();
    Global::CleanNumericText(text);
    bool ok = false;
    NumberText::parseLocale(text, &ok);
    if (!ok) {
        // A lone minus sign or separator: no number to use.
        box->setText(NumberText::displayText(0.0, 4));
        return false;
    }
    box->setText(text);
    return true;
}

bool PanelBase::readBox(QLineEdit* box, double& value)
{
    value = 0.0;
    if (!cleanBox(box))
        return false;
    value = NumberText::parseLocale(box->text());
    return true;
}

void PanelBase::reformatBox(QLineEdit* box, int decimals)
{
    double value = 0.0;
    readBox(box, value);
    box->setText(NumberText::displayText(value, decimals));
}

// ---------------------------------------------------------------------------------------------
// Form lock

void PanelBase::takeFormLock(short first, short second)
{
    if (!mobjGuiState)
        return;
    m_lockHeld = true;
    m_lockFirst = first;
    m_lockSecond = second;
    QPointer<CGuiState> state = mobjGuiState;
    state->DisableForms(first);
    if (state)
        state->DisableForms(second);
}

void PanelBase::releaseFormLock()
{
    if (!m_lockHeld)
        return;
    m_lockHeld = false;
    QPointer<CGuiState> state = mobjGuiState;
    if (!state)
        return;
    const short second = m_lockSecond;
    state->EnableForms(m_lockFirst);
    if (state)
        state->EnableForms(second);
}

PanelBase::FormLockScope::FormLockScope(PanelBase& panel, short first, short second)
    : m_panel(&panel)
{
    panel.takeFormLock(first, second);
}

PanelBase::FormLockScope::~FormLockScope()
{
    // A panel destroyed meanwhile has released the lock itself.
    if (m_panel)
        m_panel->releaseFormLock();
}

// ---------------------------------------------------------------------------------------------
// Outer frame

void PanelBase::setOuterFrame(QGroupBox* frame, bool notifyHost)
{
    m_frame = frame;
    m_notifyShowFrame = notifyHost;
    setFrameBorderStyle(m_borderStyle);
}

void PanelBase::setFrameBorderStyle(short style)
{
    m_borderStyle = style != 0 ? 1 : 0;
    if (m_frame)
        m_frame->setStyleSheet(m_borderStyle == 1 ? QString() : QStringLiteral("QGroupBox { border: none; }"));
}

bool PanelBase::ShowFrame() const
{
    return m_borderStyle == 1;
}

void PanelBase::setShowFrame(bool show)
{
    setFrameBorderStyle(show ? 1 : 0);
    if (m_notifyShowFrame)
        emit PropertyChanged(kShowFrameKey);
}

void PanelBase::InitProperties()
{
    if (m_frame)
        setFrameBorderStyle(1);
}

void PanelBase::ReadProperties(const platform::PropertyBag& bag)
{
    if (m_frame)
        setFrameBorderStyle(short(bag.ReadProperty(kShowFrameKey, QVariant::fromValue<short>(1)).toInt()));
}

void PanelBase::WriteProperties(platform::PropertyBag& bag) const
{
    if (m_frame)
        bag.WriteProperty(kShowFrameKey, QVariant::fromValue<short>(m_borderStyle), QVariant::fromValue<short>(1));
}

// ---------------------------------------------------------------------------------------------
// Busy state and loss of control

PanelBase::BusyScope::BusyScope(PanelBase& panel)
    : m_panel(&panel)
{
    ++panel.m_busyDepth;
}

PanelBase::BusyScope::~BusyScope()
{
    if (m_panel)
        m_panel->endBusy();
}

void PanelBase::endBusy()
{
    if (--m_busyDepth > 0 || !m_deletePending)
        return;
    m_deletePending = false;
    QCoreApplication::postEvent(this, new QDeferredDeleteEvent());
}

bool PanelBase::event(QEvent* e)
{
    // Not destroyed under its own running loop: the deletion waits until the loop has ended.
    if (e->type() == QEvent::DeferredDelete && m_busyDepth > 0) {
        m_deletePending = true;
        return true;
    }
    return platform::Control::event(e);
}

void PanelBase::changeEvent(QEvent* e)
{
    platform::Control::changeEvent(e);
    // Another font (the application's or the host's) may need more room than the last one did.
    if (e->type() == QEvent::FontChange && isBound())
        fitTexts();
    if (e->type() == QEvent::EnabledChange && !isEnabled())
        stopHeldMotion();
}

void PanelBase::hideEvent(QHideEvent* e)
{
    platform::Control::hideEvent(e);
    stopHeldMotion();
}

// ---------------------------------------------------------------------------------------------
// In view

bool PanelBase::inView() const
{
    if (m_everShown && !isVisible())
        return false;
    return !window()->isMinimized();
}

bool PanelBase::readWanted()
{
    if (!m_options.displayOnly || inView())
        return true;
    m_viewStale = true;
    return false;
}

void PanelBase::showEvent(QShowEvent* e)
{
    platform::Control::showEvent(e);
    m_everShown = true;
    if (m_options.displayOnly) {
        watchWindow();
        refreshIfStale();
    }
}

// The window holding the panel may change (a host embeds it into the multiple-document area).
void PanelBase::watchWindow()
{
    QWidget* top = window();
    if (top == m_watchedWindow)
        return;
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
    m_watchedWindow = top;
    if (top != this)
        top->installEventFilter(this);
}

// After the event that brought the panel into view, not inside it: the read exchanges with the
// controller.
void PanelBase::refreshIfStale()
{
    if (!m_viewStale)
        return;
    QTimer::singleShot(0, this, [this] {
        if (!m_viewStale || !inView())
            return;
        m_viewStale = false;
        refreshView();
    });
}
