#include "utility/setup/SetupForm.h"

#include "library/link/CGuiState.h"
#include "library/link/IMotion.h"
#include "library/panels/BitOnOff.h"
#include "platform/RuntimeError.h"
#include "platform/com/Control.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"
#include "utility/setup/NumberBox.h"
#include "utility/shell/FormPlaces.h"
#include "utility/shell/frmMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QKeyEvent>
#include <QMap>
#include <QPushButton>

SetupForm::SetupForm(const QString& name, const QString& caption)
    : Form(name)
{
    setWindowTitle(caption);
    setBorderStyle(vbFixedSingle);
}

SetupForm::~SetupForm() = default;

void SetupForm::bindLink()
{
    if (frmMain* main = frmMain::instance())
        m_comm = main->KVLComm1();
    m_motionObject = m_comm.object();
    if (m_comm.isNull())
        return;
    mobjGuiState = m_comm.GetGuiStateObject();
    if (mobjGuiState) {
        connect(mobjGuiState.data(), &CGuiState::AxisChange, this,
                [this](short NewAxis, short OldAxis) { mobjguistate_AxisChange(NewAxis, OldAxis); });
    }
    m_tracking = m_comm.IsOpen() && m_comm.BusType() != 0;
    m_linkChanged = false;
    m_marks.clear();
    // Every change of bus: the control's own fall to demo mode after a failure, and the program's.
    disconnect(m_busWatch);
    if (auto* control = qobject_cast<platform::Control*>(m_comm.object())) {
        m_busWatch = connect(control, &platform::Control::PropertyChanged, this, [this](const QString& name) {
            if (name == QLatin1String("BusType"))
                m_linkChanged = true;
        });
    }
}

void SetupForm::followLink()
{
    if (m_tracking && !m_linkChanged)
        return;
    if (m_comm.isNull() || !m_comm.IsOpen() || m_comm.BusType() == 0)
        return; // demo mode or no link: nothing reaches a controller
    // The link is open on a bus the marks do not belong to (opened under the window by a reset, a
    // panel's reset or the power-on prompt, or set since): none of what the window holds is known
    // to be this controller's.
    m_tracking = true;
    m_linkChanged = false;
    m_marks.clear();
}

bool SetupForm::tracksReads()
{
    followLink();
    return m_tracking;
}

void SetupForm::mobjguistate_AxisChange(short, short) {}

void SetupForm::Form_Unload(int&)
{
    KvlXGlobal::SaveFormPosition(this);
}

IMotion* SetupForm::motion() const
{
    return dynamic_cast<IMotion*>(m_motionObject.data());
}

SetupForm::Read SetupForm::readValue(short axis, int field, const QString& line, ReadMarks::Reply form,
                                     NumberText::Target target, const std::function<void(double)>& store,
                                     bool pumpAfter)
{
    // A fresh reply for each query, so an unanswered one never takes the reply before it.
    QString reply;
    int status = -1;
    followLink();
    if (!m_comm.isNull())
        status = m_comm.SendReadAscii(line + QLatin1Char('\r'), reply);
    if (pumpAfter && !pump())
        return Read::Gone;
    double value = 0;
    bool answered = ReadMarks::replyValue(status, reply, form, target, value);
    if (!answered && !m_tracking) {
        // Demo mode: nothing was asked, and the value reads as an empty reply does.
        value = 0;
        answered = true;
    }
    if (!answered)
        return Read::Unanswered;
    store(value);
    m_marks.markRead(axis, field);
    return Read::Answered;
}

bool SetupForm::isKnown(short axis, int field)
{
    followLink();
    return !m_tracking || m_marks.isKnown(axis, field);
}

bool SetupForm::writeValue(short axis, int field, const QString& name, const QString& line, bool controllerWide,
                           bool pumpAfter)
{
    if (!isKnown(axis, field)) {
        const QPair<int, QString> entry(controllerWide ? 0 : axis, name);
        if (!m_unwritten.contains(entry))
            m_unwritten.append(entry);
        return true;
    }
    if (!m_comm.isNull())
        m_comm.SendAscii(line + QLatin1Char('\r'));
    return !pumpAfter || pump();
}

void SetupForm::reportNotChanged(const QString& what)
{
    platform::MsgBox(what + QStringLiteral(" could not be read from the controller, so it was not changed."),
                     platform::vbOKOnly | platform::vbExclamation, QStringLiteral("Moxtrel"));
}

void SetupForm::showNoChoice(QAbstractButton* option)
{
    if (!option)
        return;
    QButtonGroup* group = option->group();
    if (!group) {
        // Options exclusive by their parent: none can be cleared while they stay exclusive.
        const QList<QAbstractButton*> siblings =
            option->parentWidget() ? option->parentWidget()->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly)
                                   : QList<QAbstractButton*>{option};
        for (QAbstractButton* b : siblings) {
            if (b != option && !(b->autoExclusive() && option->autoExclusive()))
                continue;
            const bool exclusive = b->autoExclusive();
            b->setAutoExclusive(false);
            b->setChecked(false);
            b->setAutoExclusive(exclusive);
        }
        return;
    }
    const bool exclusive = group->exclusive();
    group->setExclusive(false);
    for (QAbstractButton* b : group->buttons())
        b->setChecked(false);
    group->setExclusive(exclusive);
}

void SetupForm::showTick(QCheckBox* box, bool known, bool ticked)
{
    if (!box)
        return;
    if (!known) {
        box->setCheckState(Qt::PartiallyChecked);
        return;
    }
    box->setTristate(false);
    box->setChecked(ticked);
}

void SetupForm::showLamp(BitOnOff* lamp, bool known, bool on)
{
    if (!lamp)
        return;
    lamp->setOffColor(known ? BitOnOff::DefaultOffColor : NeutralLampColor);
    lamp->setValue(known && on);
}

void SetupForm::reportUnwritten()
{
    if (m_unwritten.isEmpty())
        return;
    QMap<int, QStringList> byAxis;
    for (const auto& entry : std::as_const(m_unwritten))
        byAxis[entry.first].append(entry.second);
    m_unwritten.clear();
    QString prompt = QStringLiteral("These values could not be read from the controller when this window "
                                    "opened, so they were not written:");
    for (auto it = byAxis.cbegin(); it != byAxis.cend(); ++it) {
        const QString who = it.key() == 0 ? QStringLiteral("Controller") : QStringLiteral("Axis %1").arg(it.key());
        prompt += QStringLiteral("\r\n") + who + QStringLiteral(": ") + it.value().join(QStringLiteral(", "));
    }
    platform::MsgBox(prompt, platform::vbOKOnly | platform::vbExclamation, QStringLiteral("Moxtrel"));
}

void SetupForm::takeSnapshot()
{
    if (m_comm.isNull())
        return;
    try {
        m_comm.StoreCurrentAxisState();
    } catch (const platform::RuntimeError&) {
        // Only axes beyond the cache fail, after every axis it holds was taken.
    }
    IMotion* m = motion();
    m_snapshot.clear();
    if (!m)
        return;
    for (short axis = 1; axis <= ReadMarks::Axes; ++axis) {
        std::vector<double> values;
        values.reserve(m_snapshotValues.size());
        for (const CacheValue& v : m_snapshotValues)
            values.push_back(v.get(*m, axis));
        m_snapshot.push_back(std::move(values));
    }
}

void SetupForm::restoreSnapshot()
{
    IMotion* m = motion();
    if (!m)
        return;
    for (size_t a = 0; a < m_snapshot.size(); ++a) {
        for (size_t i = 0; i < m_snapshotValues.size() && i < m_snapshot[a].size(); ++i)
            m_snapshotValues[i].set(*m, short(a + 1), m_snapshot[a][i]);
    }
    m_marks.clearEdits();
}

SetupForm::Exchange::Exchange(SetupForm& form, bool disableWindow, bool hourglass)
    : m_form(&form)
{
    if (form.m_exchanging)
        return;
    m_active = true;
    form.m_exchanging = true;
    if (disableWindow && form.isEnabled()) {
        form.setEnabled(false);
        m_disabled = true;
    }
    if (hourglass) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_hourglass = true;
    }
}

SetupForm::Exchange::~Exchange()
{
    if (m_hourglass)
        QApplication::restoreOverrideCursor();
    if (!m_active || !m_form)
        return;
    m_form->m_exchanging = false;
    if (m_disabled)
        m_form->setEnabled(true);
}

bool SetupForm::pump()
{
    QPointer<SetupForm> self(this);
    platform::Clock::pumpOnce();
    return self && isLoaded();
}

bool SetupForm::commitBoxes()
{
    bool ok = true;
    for (const QPointer<NumberBox>& box : std::as_const(m_boxes)) {
        if (box && box->commit() == NumberBox::Commit::Refused)
            ok = false;
    }
    return ok;
}

void SetupForm::connectButton(QAbstractButton* button, std::function<void()> action)
{
    connect(button, &QAbstractButton::clicked, this, [this, action = std::move(action)] {
        if (m_exchanging || !isLoaded())
            return;
        if (!commitBoxes())
            return;
        action();
    });
}

QPushButton* SetupForm::addButton(const QString& name, const QString& caption, std::function<void()> action,
                                  QWidget* parent)
{
    auto* button = new QPushButton(caption, parent ? parent : this);
    button->setObjectName(name);
    if (action)
        connectButton(button, std::move(action));
    return button;
}

void SetupForm::unloadSelf()
{
    Form::Unload(this);
}

void SetupForm::keyPressEvent(QKeyEvent* event)
{
    // Escape reaches the window when the control in focus has no use for it.
    if (event->modifiers() != Qt::NoModifier || event->key() != Qt::Key_Escape) {
        Form::keyPressEvent(event);
        return;
    }
    event->accept();
    if (m_cancelButton)
        m_cancelButton->click();
    else
        Form::Unload(this, vbFormControlMenu);
}
