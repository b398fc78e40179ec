#include "utility/terminal/frmTerminal.h"

#include "library/link/BusType.h"
#include "library/link/LinkTransport.h"
#include "library/link/NumberText.h"
#include "platform/drivers/PciDriver.h"
#include "platform/kernel/Clock.h"
#include "platform/serial/SerialControl.h"
#include "platform/ui/FileDialog.h"
#include "platform/ui/MsgBox.h"
#include "utility/shell/BoundedFile.h"
#include "utility/shell/CommLink.h"
#include "utility/shell/CommandDispatcher.h"
#include "utility/shell/ControllerInit.h"
#include "utility/shell/EventWait.h"
#include "utility/shell/FormPlaces.h"
#include "utility/shell/LateEvent.h"
#include "utility/shell/LineWait.h"
#include "utility/shell/LinkOwnerLockOut.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/TextHelpers.h"
#include "utility/shell/TextLineReader.h"
#include "utility/shell/frmMain.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLayout>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QSaveFile>
#include <QStyle>
#include <QStatusBar>
#include <QTextCursor>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

using namespace platform;
using namespace KvlXGlobal;

namespace {

const QString kCR = QStringLiteral("\r");
const QString kCRLF = QStringLiteral("\r\n");
const QString kNoData = QStringLiteral("No data");
const QString kNoMessage = QStringLiteral("No Message");
const QString kSaveTitle = QStringLiteral("Save Parameters To File");
const QString kSendTitle = QStringLiteral("Send Text File");

constexpr int kGpibTimeout100ms = 9;
constexpr int kGpibTimeout3s = 12;
constexpr int kDesignHeight = 5580; // twips
constexpr int kDesignWidth = 5290;

struct ToolButton {
    const char* caption;
    const char* key;
    const char* toolTip;
};

const ToolButton kButtons[] = {
    {"Transmit Text File", "SendFile", "Send text file to controller"},
    {"List Stored Programs", "ListPrograms", "List all stored programs present in the controller."},
    {"Get Error Messages", "GetErrorMsgs", "Get all error messages from the controller."},
};

// A reply that ends a reply loop and is never shown.
bool noReply(const QString& reply)
{
    return reply.isEmpty() || reply.contains(kNoData) || reply.contains(kNoMessage);
}

// The box shows CR LF, CR and LF each as one line break.
QString shownText(const QString& raw)
{
    QString text = raw;
    text.replace(kCRLF, QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

// The terminal's text box: every typed character goes through the window's key handling first,
// and what it lets through is shown at the end of the text, so the box reads like a terminal.
class TerminalBox : public QPlainTextEdit {
public:
    explicit TerminalBox(frmTerminal* form)
        : QPlainTextEdit(form)
        , m_form(form)
    {
        setObjectName(QStringLiteral("txtTerminal"));
        setTabChangesFocus(true);
        setUndoRedoEnabled(false);
        setLineWrapMode(QPlainTextEdit::WidgetWidth);
    }

    void type(QChar c)
    {
        if (!m_form->txtTerminal_KeyPress(c))
            return;
        moveCursor(QTextCursor::End);
        if (c == QLatin1Char('\b'))
            textCursor().deletePreviousChar();
        else
            insertPlainText(QString(c));
    }

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        // The paste key first: some keyboards give it the text of its letter.
        if (e->matches(QKeySequence::Paste)) {
            paste();
            e->accept();
            return;
        }
        const QString text = e->text();
        if (text.size() == 1 && isTyped(text.at(0))) {
            type(text.at(0));
            e->accept();
            return;
        }
        // Moving about, selecting and copying; typing never lands anywhere but at the end.
        if (text.isEmpty() || e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
            QPlainTextEdit::keyPressEvent(e);
        else
            e->accept();
    }

    void insertFromMimeData(const QMimeData* source) override
    {
        // Pasted text is typed: each line end is an Enter. A backspace in it edits nothing.
        const QString lines = source->text().replace(kCRLF, kCR).replace(QLatin1Char('\n'), QLatin1Char('\r'));
        QString text;
        for (const QChar c : lines) {
            if (isTyped(c) && c != QLatin1Char('\b'))
                text += c;
        }
        m_form->txtTerminal_Paste(text);
    }

    void mouseDoubleClickEvent(QMouseEvent* e) override
    {
        QPlainTextEdit::mouseDoubleClickEvent(e);
        m_form->txtTerminal_DblClick();
    }

private:
    // Enter, backspace and the printable characters of the 8-bit character set.
    static bool isTyped(QChar c)
    {
        const char16_t u = c.unicode();
        return u == '\r' || u == '\b' || (u >= 0x20 && u != 0x7F && u <= 0xFF);
    }

    frmTerminal* m_form;
};

void frmTerminal::Install()
{
    CommandDispatcher::setWindow(QStringLiteral("frmTerminal"), [] { return Form::instance<frmTerminal>(); });
}

void frmTerminal::Uninstall()
{
    CommandDispatcher::setWindow(QStringLiteral("frmTerminal"), {});
}

frmTerminal::frmTerminal()
    : Form(QStringLiteral("frmTerminal"))
{
    setWindowTitle(QStringLiteral("ASCII Command Terminal"));
    setBorderStyle(vbSizable);

    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(QStringLiteral("tbarTerminal"));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (const ToolButton& b : kButtons) {
        QAction* action = m_toolbar->addAction(QString::fromLatin1(b.caption));
        const QString key = QString::fromLatin1(b.key);
        action->setObjectName(key);
        action->setToolTip(QString::fromLatin1(b.toolTip));
        if (QWidget* widget = m_toolbar->widgetForAction(action))
            widget->setObjectName(key);
        connect(action, &QAction::triggered, this, [this, key] { tbarTerminal_ButtonClick(key); });
    }

    m_box = new TerminalBox(this);
    QPalette palette = m_box->palette();
    palette.setColor(QPalette::Text, QColor(0, 0, 255)); // the colour value FF0000: blue in the high byte
    m_box->setPalette(palette);

    // The toolbar 50 twips in from the edges, the box 100 twips below it, filling the rest.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 50 / TwipsPerPixel, 0, 0);
    layout->setSpacing(100 / TwipsPerPixel);
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(50 / TwipsPerPixel, 0, 50 / TwipsPerPixel, 0);
    bar->addWidget(m_toolbar);
    layout->addLayout(bar);
    layout->addWidget(m_box, 1);
}

frmTerminal::~frmTerminal() = default;

QPlainTextEdit* frmTerminal::txtTerminal() const
{
    return m_box;
}

QAction* frmTerminal::button(const QString& key) const
{
    for (QAction* action : m_toolbar->actions()) {
        if (action->objectName() == key)
            return action;
    }
    return nullptr;
}

QString frmTerminal::text() const
{
    return m_box->toPlainText();
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

void frmTerminal::Form_Load()
{
    frmMain* main = frmMain::instance();
    mobjX = main ? main->KVLComm1().object() : nullptr;
    if (mobjX)
        LateEvent::connect(mobjX, SIGNAL(CommEvent(QString&)), this, SLOT(mobjX_CommEvent(QString&)));
    CommLink comm(mobjX);
    if (main)
        main->setWindowState(main->windowState() | Qt::WindowMaximized);
    if (mobjX)
        comm.SetGPIBTimeout(kGpibTimeout100ms);
    RestoreFormPosition(this);

    m_hiddenForms.clear();
    for (Form* form : Form::Forms()) {
        if (!form->Name().contains(QLatin1String("frmMain")) && form != this && form->Visible())
            m_hiddenForms.append(form);
    }
    m_reloadCycle = false;
    for (const QPointer<Form>& form : std::as_const(m_hiddenForms)) {
        if (!form)
            continue;
        if (form->Name() == QLatin1String("frmCycle")) {
            // Closed, and loaded anew when the terminal closes.
            m_reloadCycle = true;
            Form::Unload(form);
        } else {
            form->Hide();
        }
    }

    RestoreFormPosition(this);
    m_lockOut = std::make_unique<LinkOwnerLockOut>(this);
    m_box->clear();
    if (main)
        main->DisableMenu();
    m_lineBuffer.clear();
    if (mobjX)
        comm.setTimerEnabled(false);

    setHeight(kDesignHeight);
    // The three buttons stay in view where the font makes them wider than the designed window.
    const int frameWidth = 2 * style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth) * TwipsPerPixel;
    int buttons = 0;
    for (QAction* action : m_toolbar->actions()) {
        if (QWidget* widget = m_toolbar->widgetForAction(action))
            buttons += widget->sizeHint().width() + m_toolbar->layout()->spacing();
    }
    const QMargins margins = m_toolbar->contentsMargins() + m_toolbar->layout()->contentsMargins();
    const int barPixels = buttons + margins.left() + margins.right() + 2 * (50 / TwipsPerPixel) + 8;
    const int barWidth = barPixels * TwipsPerPixel;
    setWidth(std::max(kDesignWidth, barWidth + frameWidth));
    if (main) {
        const int mainWidth = main->width() * TwipsPerPixel;
        const int mainHeight = main->height() * TwipsPerPixel;
        int bars = 0;
        if (QToolBar* toolbar = main->Toolbar1())
            bars += toolbar->height() * TwipsPerPixel;
        bars += main->statusBar()->height() * TwipsPerPixel;
        // A main window smaller than the terminal keeps the terminal's caption in view.
        setLeft(std::max(0, mainWidth / 2 - Width() / 2));
        setTop(std::max(0, mainHeight / 2 - Height() / 2 - bars));
    }
    Show();
}

void frmTerminal::Form_Unload(int& Cancel)
{
    Q_UNUSED(Cancel);
    if (gAppClosing)
        return;
    CommLink comm(mobjX);
    if (mobjX) {
        comm.SetGPIBTimeout(kGpibTimeout3s);
        comm.setCommEventEnabled(false);
        comm.setTimerEnabled(true);
        comm.SendAscii(QStringLiteral("QP"));
    }
    SaveFormPosition(this);
    m_lockOut.reset();
    if (frmMain* main = frmMain::instance())
        main->EnableMenu();
    const QList<QPointer<Form>> hidden = m_hiddenForms;
    m_hiddenForms.clear();
    for (const QPointer<Form>& form : hidden) {
        if (form && form->isLoaded())
            form->Show();
    }
    if (m_reloadCycle) {
        m_reloadCycle = false;
        if (Form* cycle = CommandDispatcher::window(QStringLiteral("frmCycle")))
            cycle->Show();
    }
    SaveFormPosition(this);
}

// ---------------------------------------------------------------------------------------------
// Typing

bool frmTerminal::txtTerminal_KeyPress(QChar key)
{
    // A file send or a listing lets events run: what is typed meanwhile is not taken.
    if (m_busy)
        return false;
    if (key == QLatin1Char('\b')) {
        const bool typed = !m_lineBuffer.isEmpty();
        m_lineBuffer.chop(1);
        return typed;
    }
    m_lineBuffer += key;
    if (m_lineBuffer == kCR)
        m_lineBuffer = m_lastLine;
    if (key != QLatin1Char('\r'))
        return true;
    handleLine();
    return false;
}

void frmTerminal::txtTerminal_Paste(const QString& text)
{
    if (m_busy || text.isEmpty())
        return;
    // Typed keys wait until the paste is over; the paste itself starts once the key press or the
    // click that pasted has been handled.
    m_busy = true;
    Clock::afterInput(this, [this, text] { typePasted(text); });
}

void frmTerminal::typePasted(const QString& text)
{
    const auto done = qScopeGuard([this] { m_busy = false; });
    const QStringList pieces = text.split(QLatin1Char('\r'));
    // Every line is checked before the first goes out: the lines of a paste belong together.
    for (int i = 0; i < pieces.size(); ++i) {
        const QString line = (i == 0 ? m_lineBuffer : QString()) + pieces.at(i);
        if (!lineFits(line, QStringLiteral("Line %1 of the pasted text").arg(i + 1),
                      QStringLiteral("Nothing of the pasted text was sent.")))
            return;
    }
    {
        // The main window's close, and this window's own destruction, wait for the paste.
        EventWait waiting;
        QPointer<frmMain> main = frmMain::instance();
        // The last piece has no Enter: it stays in the line buffer, as typed text does.
        for (int i = 0; i + 1 < pieces.size(); ++i) {
            if (i > 0) {
                Clock::pumpOnce();
                if (!isLoaded() || gAppClosing || (main && main->closePending()))
                    return;
            }
            // An empty pasted line is no Enter on an empty line: it repeats nothing.
            if (m_lineBuffer.isEmpty() && pieces.at(i).isEmpty())
                continue;
            appendText(pieces.at(i));
            m_lineBuffer += pieces.at(i) + kCR;
            if (!handleLine())
                return;
        }
    }
    appendText(pieces.last());
    m_lineBuffer += pieces.last();
}

bool frmTerminal::lineFits(const QString& line, const QString& which, const QString& consequence)
{
    const qsizetype length = line.size() - (line.endsWith(kCR) ? 1 : 0);
    if (length <= LongestLine)
        return true;
    MsgBox(which + QStringLiteral(" has %1 characters; the controller takes at most %2 in a line. ").arg(length).arg(LongestLine)
               + consequence,
           vbOKOnly + vbExclamation, windowTitle());
    return false;
}

bool frmTerminal::handleLine()
{
    QString line = m_lineBuffer;
    CommLink comm(mobjX);
    caretToEnd();

    if (!lineFits(line, QStringLiteral("The line"), QStringLiteral("Nothing of it was sent."))) {
        m_lineBuffer.clear();
        endLine();
        return true;
    }
    if (IsDataGatherCommand(line)) {
        SaveGatheredData(line);
    } else {
        m_programMode = TrackProgramMode(line, m_programMode);
        if (IsResetCommand(line)) {
            const int answer = MsgBox(QStringLiteral("Do you want to reset the controller?"),
                                      vbYesNo + vbQuestion + vbMsgBoxSetForeground, QStringLiteral("KVL"));
            if (answer == vbYes) {
                m_lineBuffer.clear();
                // The terminal closes with the other windows, from the event loop: not under its own
                // key handling.
                QPointer<frmMain> main = frmMain::instance();
                EventWait::runWhenIdle(main, [main] {
                    CloseChildForms();
                    Clock::pumpOnce();
                    if (main)
                        main->InitializeController(true);
                });
                return false;
            }
        } else if (IsListProgramCommand(line)) {
            if (!comm.isNull())
                comm.SendAscii(QStringLiteral("LP"));
            listingRead();
        } else if (!comm.isNull()) {
            // The line is on screen before any wait for its reply.
            m_box->viewport()->repaint();
            comm.SendAscii(line);
            if (!m_programMode && !comm.CommEventEnabled()) {
                QString reply;
                if (typedReplyCame(comm))
                    comm.ReadAscii(reply);
                reply = KVLTrim(reply);
                if (!noReply(reply)) {
                    endLine();
                    appendText(reply);
                }
            }
        }
    }
    m_lastLine = line;
    m_lineBuffer.clear();
    endLine();
    caretToEnd();
    return true;
}

bool frmTerminal::typedReplyCame(CommLink& comm)
{
    if (comm.BusType() != BUS_TYPE_RS232)
        return true;
    auto* serial = qobject_cast<platform::SerialControl*>(comm.RS232CommControl());
    if (!serial || !serial->PortOpen())
        return true;
    // A reply that has begun is read whole by the link; one that has not begun within the limit is
    // not waited for: the next typed line's read shows it, and once the terminal has closed the
    // polls that resume put the line back in step before their first query.
    const qint64 deadline = Clock::tickMs() + TypedReplyLimitMs;
    while (serial->InBufferCount() == 0) {
        const qint64 left = deadline - Clock::tickMs();
        if (left <= 0)
            return false;
        Clock::blockFor(int(left), [serial](int ms) { serial->waitForInput(ms); });
    }
    return true;
}

void frmTerminal::listingRead()
{
    CommLink comm(mobjX);
    if (comm.isNull())
        return;
    // Events run while the listing comes: typed keys wait, and the window stays until it is over.
    EventWait waiting;
    const bool wasBusy = std::exchange(m_busy, true);
    const auto done = qScopeGuard([this, wasBusy] { m_busy = wasBusy; });
    QString reply;
    bool first = true;
    bool lineEnded = atLineStart();
    // A listing that never reaches its END ends at the limit with what came; a read that fails
    // ends it with what came before.
    const qint64 end = Clock::tickMs() + DrainLimitMs;
    while (reply.right(5) != QLatin1String("\r\nEND")) {
        if (!drainRead(comm, end, reply))
            break;
        // The listing opens each of its lines with CR LF: at the start of a line the first one is
        // not needed.
        if (first && atLineStart() && reply.startsWith(kCRLF))
            appendText(reply.mid(2));
        else
            appendText(reply);
        first = false;
        // Read line by line, the listing's last line is its END alone.
        if (lineEnded && reply == QLatin1String("END"))
            break;
        lineEnded = reply.endsWith(QLatin1Char('\n'));
    }
    endLine();
}

bool frmTerminal::drainRead(CommLink& comm, qint64 end, QString& reply)
{
    const qint64 left = end - Clock::tickMs();
    if (left <= 0)
        return false;
    QPointer<frmTerminal> self(this);
    LineWait::lineCame(comm, int(std::min<qint64>(LinkTransport::ReplyLimitMs, left)));
    if (!self || !isLoaded() || comm.isNull())
        return false;
    QString got;
    if (comm.ReadAscii(got) != 0)
        return false;
    got = KVLTrim(got);
    if (noReply(got))
        return false;
    reply = got;
    return true;
}

void frmTerminal::txtTerminal_DblClick()
{
    m_box->clear();
}

// ---------------------------------------------------------------------------------------------
// Toolbar

void frmTerminal::tbarTerminal_ButtonClick(const QString& key)
{
    if (m_busy)
        return;
    CommLink comm(mobjX);
    if (key == QLatin1String("SendFile")) {
        sendFile();
    } else if (key == QLatin1String("ListPrograms")) {
        if (comm.isNull())
            return;
        comm.SendAscii(QStringLiteral("LP"));
        listingRead();
        m_lastLine = QStringLiteral("LP");
    } else if (key == QLatin1String("GetErrorMsgs")) {
        if (comm.isNull())
            return;
        QString reply(255, QLatin1Char(' '));
        comm.SendReadAscii(QStringLiteral("TB"), reply);
        endLine();
        appendText(KVLTrim(reply));
        endLine();
        caretToEnd();
        m_lastLine = QStringLiteral("TB");
    }
}

void frmTerminal::sendFile()
{
    QAction* sendButton = button(QStringLiteral("SendFile"));
    sendButton->setEnabled(false);
    QPointer<frmTerminal> self(this);
    for (;;) {
        const QString file = GetOpenFileName(this, kSendTitle, QString(),
                                             QStringLiteral("Text Files (*.TXT)|*.txt|All Files (*.*)|*.*"));
        if (!self)
            return;
        if (file.isEmpty())
            break;
        // Anything that is there is taken; the send refuses what is no regular file, saying so.
        if (QFileInfo::exists(file)) {
            SendKVLFile(file);
            m_lastLine = QStringLiteral("TB");
            break;
        }
        MsgBox(file + QStringLiteral(" not found!"), vbOKOnly + vbExclamation);
    }
    sendButton->setEnabled(true);
}

void frmTerminal::SendKVLFile(const QString& FileName)
{
    QByteArray content;
    QString reason;
    if (BoundedFile::read(FileName, &content, &reason) != BoundedFile::Outcome::Read) {
        MsgBox(QStringLiteral("File Open Error") + kCRLF + QDir::toNativeSeparators(FileName) + kCRLF + reason,
               vbOKOnly + vbCritical, kSendTitle);
        return;
    }
    m_busy = true;
    CommLink comm(mobjX);
    endLine();
    TextLineReader reader(content);
    QString text;
    bool failed = false;
    while (reader.readLine(text)) {
        // The reader leaves the file's line end off: the command gets exactly one CR.
        const QString line = text + kCR;
        appendText(line + QLatin1Char('\n'));
        Clock::pumpOnce();
        if (!isLoaded())
            break; // closed meanwhile
        if (comm.isNull() || !LineWait::roomToSend(comm) || !isLoaded() || comm.SendAscii(line) != 0) {
            failed = isLoaded();
            break;
        }
        DelayMs(FileLinePauseMs);
        if (!isLoaded() || gAppClosing)
            break;
    }
    m_busy = false;
    if (reader.failed()) {
        MsgBox(QStringLiteral("File Open Error"), vbOKOnly + vbCritical, kSendTitle);
        return;
    }
    if (failed) {
        MsgBox(QStringLiteral("The link to the controller failed at line ") + QString::number(reader.lineNumber())
                   + QStringLiteral(" of ") + FileName + QStringLiteral(": the rest of the file was not sent."),
               vbOKOnly + vbCritical, kSendTitle);
        return;
    }
    if (!isLoaded())
        return;
    caretToEnd();

    // A controller that keeps talking does not keep the window here: what came within the limit
    // is shown.
    const qint64 end = Clock::tickMs() + DrainLimitMs;
    {
        EventWait waiting;
        m_busy = true;
        QString reply;
        while (drainRead(comm, end, reply)) {
            endLine();
            appendText(reply);
        }
        m_busy = false;
    }
    if (!isLoaded())
        return;
    endLine();
    caretToEnd();
}

// ---------------------------------------------------------------------------------------------
// Gathered data

bool frmTerminal::IsDataGatherCommand(QString& line)
{
    // Within the 8-bit character set, as the line goes on the wire.
    for (QChar& c : line) {
        const QChar upper = c.toUpper();
        if (upper.unicode() <= 0xFF)
            c = upper;
    }
    return line.startsWith(QLatin1String("DG"));
}

void frmTerminal::SaveGatheredData(const QString& line)
{
    Q_UNUSED(line);
    std::vector<int> samples(GatheredCapacity, 0);
    int count = 0;
    int unused = 0;
    if (kvl_get_daq_data(samples.data(), GatheredCapacity, &count, &unused) != 0) {
        MsgBox(QStringLiteral("No gathered data could be read from the PCI board."), vbOKOnly + vbExclamation,
               kSaveTitle);
        return;
    }
    count = std::clamp(count, 0, GatheredCapacity);

    const QString fileName = GetSaveFileName(this, kSaveTitle, QDir::homePath(), QStringLiteral("(*.txt) | *.txt"));
    if (fileName.isEmpty())
        return;
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += NumberText::blankSignedInteger(samples[size_t(i)]).toLatin1() + "\r\n";
    // Written beside the target and put in its place only when whole.
    QSaveFile out(fileName);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
        MsgBox(QStringLiteral("The gathered data could not be saved to ") + fileName + QStringLiteral(": ")
                   + out.errorString(),
               vbOKOnly + vbCritical, kSaveTitle);
    }
}

// ---------------------------------------------------------------------------------------------
// Replies and the box

QString frmTerminal::KVLTrim(const QString& buffer)
{
    CommLink comm(mobjX);
    if (!comm.isNull() && comm.BusType() == BUS_TYPE_GPIB)
        return LinkTransport::trimToLineFeed(buffer);
    // Blanks only: the line end stays.
    return LinkTransport::trimBlanks(buffer);
}

void frmTerminal::mobjX_CommEvent(QString& CommData)
{
    appendText(CommData);
    caretToEnd();
}

void frmTerminal::appendText(const QString& raw)
{
    QTextCursor cursor(m_box->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(shownText(raw));
    cutText();
    caretToEnd();
}

bool frmTerminal::atLineStart() const
{
    const QString text = m_box->toPlainText();
    return text.isEmpty() || text.endsWith(QLatin1Char('\n'));
}

void frmTerminal::endLine()
{
    if (!atLineStart())
        appendText(QStringLiteral("\n"));
}

void frmTerminal::cutText()
{
    const QString text = m_box->toPlainText();
    if (text.size() <= CutAbove)
        return;
    QTextCursor cursor(m_box->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor, CutFrom - 1);
    cursor.removeSelectedText();
}

void frmTerminal::caretToEnd()
{
    m_box->moveCursor(QTextCursor::End);
    m_box->ensureCursorVisible();
}
