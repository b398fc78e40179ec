#include "library/panels/KVLError.h"

#include "library/link/KVLComm.h"
#include "library/link/ReadMarks.h"
#include "platform/com/ClassRegistry.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>
#include <QTextCursor>

#include <cmath>

namespace {

const bool registered = platform::registerClass(QStringLiteral("KVL410ActiveX.KVLError"),
                                                [](QWidget* parent) -> QObject* { return new KVLError(parent); });

const QString kCrLf = QStringLiteral("\r\n");
const QString kInitFailed = QStringLiteral("Initialize system failed!  Please check comm settings.");
const QString kOverflow = QStringLiteral("WARNING! An Error Message Queue overflow has occurred!\r\n"
                                         "All further errors will be ignored until cleared!\r\n");

PanelBase::Options errorOptions()
{
    PanelBase::Options options;
    options.handlesTimer = true;
    return options;
}

// The code as the list shows it: the whole number the controller sent, however large.
QString codeText(double code)
{
    if (std::fabs(code) < 9.0e18)
        return QString::number(static_cast<qint64>(code));
    return QString::number(code, 'g', 15);
}

// The error text up to its line end. A text without CR LF (cut short, or a reply without one) is
// shown whole and given a line end of its own.
QString lineText(const QString& text)
{
    const int lineEnd = text.indexOf(kCrLf);
    if (lineEnd >= 0)
        return text.left(lineEnd + 3);
    int end = text.size();
    while (end > 0 && (text.at(end - 1) == QLatin1Char(' ') || text.at(end - 1) == QLatin1Char('\r')
                       || text.at(end - 1) == QLatin1Char('\n')))
        --end;
    return text.left(end) + kCrLf;
}

platform::DispatchTable buildTable()
{
    platform::DispatchTable t(QStringLiteral("_KVLError"));
    t.put<KVLError>(QStringLiteral("CommControl"), 0x68030001, [](KVLError& p, QVariantList& a) {
        p.setCommControl(PanelBase::commFromVariant(a.value(0)));
    });
    t.put<KVLError>(QStringLiteral("ErrorMsg"), 0x68030000,
                    [](KVLError& p, QVariantList& a) { p.setErrorMsg(a.value(0).toString()); });
    t.get<KVLError>(QStringLiteral("ErrorMsg"), 0x68030000, [](KVLError& p, QVariantList&) { return p.ErrorMsg(); });
    return t;
}

} // namespace

KVLError::KVLError(QWidget* parent)
    : PanelBase(errorOptions(), parent)
{
    Q_UNUSED(registered);
    setObjectName(QStringLiteral("KVLError"));

    lblError = new QPlainTextEdit(this);
    lblError->setObjectName(QStringLiteral("lblError"));
    lblError->setReadOnly(true);
    lblError->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont listFont = lblError->font();
    listFont.setPointSizeF(9.75);
    listFont.setBold(true);
    lblError->setFont(listFont);
    lblError->setGeometry(twips(120, 120, 4575, 4215));

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twips(1320, 4440, 1815, 495));
    connect(cmdOK, &QPushButton::clicked, this, &KVLError::cmdOK_Click);
    setTabOrder(cmdOK, lblError);

    resize(twips(0, 0, 5685, 4935).size());
    layoutControls();
}

// ---------------------------------------------------------------------------------------------
// Host messages

void KVLError::setErrorMsg(const QString& message)
{
    int slot = -1;
    for (int i = 0; i < QueueSlots; ++i) {
        if (m_queue[i].isEmpty()) {
            slot = i;
            break;
        }
    }
    if (slot < 0) {
        setList(kOverflow + m_list, false);
        slot = QueueSlots - 1;
    }
    m_queue[slot] = message;
    m_pending = true;
    if (m_messageCount < QueueSlots)
        ++m_messageCount;
    scheduleShow();
}

QString KVLError::ErrorMsg()
{
    QStringList messages;
    for (QString& slot : m_queue) {
        if (!slot.isEmpty())
            messages.append(slot);
        slot.clear();
    }
    m_pending = false;
    m_messageCount = 0;
    return messages.join(kCrLf);
}

// Without a running timer no poll comes (no control bound, or the timer stopped after a broken
// link): the messages are then shown as soon as events run.
void KVLError::scheduleShow()
{
    if (m_showScheduled)
        return;
    m_showScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_showScheduled = false;
        if (!(m_CommControl && m_CommControl->TimerEnabled()))
            showQueuedMessages();
    });
}

void KVLError::setUp()
{
    // A broken link stops the timer, and with it the polls.
    connect(m_CommControl, &KVLComm::CommErrorEvent, this, [this](short&) { scheduleShow(); });
}

void KVLError::showQueuedMessages()
{
    if (!m_pending)
        return;
    const QString messages = ErrorMsg();
    setList(messages + kCrLf + m_list, false);
}

// ---------------------------------------------------------------------------------------------
// Poll

void KVLError::onTimer()
{
    if (!m_ticks.tick())
        return;
    // A tick delivered while this poll pumps events: the running poll goes on.
    if (m_polling)
        return;
    QPointer<KVLError> self(this);
    m_polling = true;
    if (linkUsable() && !readErrorBuffer())
        return;
    if (!self)
        return;
    m_polling = false;
    // Host messages are shown whatever the link's state.
    showQueuedMessages();
}

bool KVLError::readErrorBuffer()
{
    for (int read = 0; read < MaxErrorsPerPoll; ++read) {
        // Another panel may have broken the link while events ran.
        if (!linkUsable())
            break;
        QString reply;
        const int status = m_CommControl->SendReadAscii(controllerCommand(QStringLiteral("TB")), reply);
        const QString buffer = reply.left(ReplyBufferLength).leftJustified(ReplyBufferLength, QLatin1Char(' '));
        if (!pumpEvents())
            return false;

        // No answer costs this poll only: the link itself counts a controller that stays silent,
        // and breaks it then. Whatever the reply holds then was not read.
        if (status != 0)
            break;
        const int firstComma = buffer.indexOf(QLatin1Char(','));
        if (firstComma < 0) {
            appendToList(kInitFailed + kCrLf);
            QPointer<KVLError> self(this);
            emit ErrorsDetected();
            return !self.isNull();
        }

        // Code, time stamp, text: the text keeps any comma of its own.
        const int secondComma = buffer.indexOf(QLatin1Char(','), firstComma + 1);
        const QString text = secondComma < 0 ? QString() : buffer.mid(secondComma + 1);
        // A code that is no number reports no error.
        double code = 0;
        ReadMarks::replyValue(status, buffer.left(firstComma), ReadMarks::Reply::Decimal, NumberText::Target::Double, code);
        if (code == 0)
            break;
        QPointer<KVLError> self(this);
        emit ErrorsDetected();
        if (!self)
            return false;
        appendToList(codeText(code) + QStringLiteral(", ") + lineText(text));
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// The list

void KVLError::appendToList(const QString& text)
{
    setList(m_list + text, true);
}

void KVLError::setList(const QString& text, bool caretAtEnd)
{
    m_list = text;
    QString shown = text;
    shown.replace(kCrLf, QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    lblError->setPlainText(shown);
    QTextCursor cursor = lblError->textCursor();
    cursor.movePosition(caretAtEnd ? QTextCursor::End : QTextCursor::Start);
    lblError->setTextCursor(cursor);
    lblError->ensureCursorVisible();
}

void KVLError::cmdOK_Click()
{
    QPointer<KVLError> self(this);
    emit Dismiss();
    if (self)
        setList(QString(), false);
}

// ---------------------------------------------------------------------------------------------
// Layout: the button on the bottom edge, centred; the list above it across the whole width.

void KVLError::resizeEvent(QResizeEvent* e)
{
    PanelBase::resizeEvent(e);
    layoutControls();
}

void KVLError::layoutControls()
{
    const int innerHeight = height() * 15;
    const int innerWidth = width() * 15;
    const int buttonHeight = cmdOK->height() * 15;
    const int buttonWidth = cmdOK->width() * 15;
    if (innerHeight > buttonHeight + 200) {
        const int buttonTop = innerHeight - buttonHeight;
        cmdOK->move(cmdOK->x(), buttonTop / 15);
        lblError->setGeometry(lblError->x(), 0, lblError->width(), (buttonTop - 135) / 15);
    }
    if (innerWidth >= buttonWidth) {
        lblError->setGeometry(0, lblError->y(), width(), lblError->height());
        cmdOK->move((innerWidth - buttonWidth) / 2 / 15, cmdOK->y());
    }
}

// ---------------------------------------------------------------------------------------------

const platform::DispatchTable* KVLError::dispatchTable(const QString& interfaceName) const
{
    static const platform::DispatchTable table = buildTable();
    if (!interfaceName.isEmpty() && interfaceName != table.interfaceName())
        return nullptr;
    return &table;
}

QVector<QPair<int, QString>> KVLError::eventTable() const
{
    return {{1, QStringLiteral("Dismiss")}, {2, QStringLiteral("ErrorsDetected")}};
}
