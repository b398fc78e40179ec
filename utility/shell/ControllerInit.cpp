#include "utility/shell/ControllerInit.h"

#include "library/link/BusType.h"
#include "library/link/CGuiState.h"
#include "library/link/NumberText.h"
#include "library/link/KVLComm.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"
#include "utility/shell/BoundedFile.h"
#include "utility/shell/CommLink.h"
#include "utility/shell/CommandDispatcher.h"
#include "utility/shell/ControllerQuery.h"
#include "utility/shell/DataFiles.h"
#include "utility/shell/EventWait.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/TextHelpers.h"
#include "utility/shell/TextLineReader.h"
#include "utility/shell/frmBusType.h"
#include "utility/shell/frmMain.h"
#include "utility/shell/frmSplash.h"

#include <QAction>
#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStringList>

#include <algorithm>
#include <array>
#include <optional>

using namespace platform;

namespace KvlXGlobal {

namespace {

const QString kCR = QStringLiteral("\r");
const QString kCRLF = QStringLiteral("\r\n");
const QString kTitle = QStringLiteral("Moxtrel");
const QString kAnimationFile = QStringLiteral("KVLWAIT.gif");
const QString kFailed = QStringLiteral("System initialization failed.");

constexpr int kWaitSliceMs = 50;
constexpr int kResetSettleMs = 500;
constexpr int kRestartSeconds = 18;
constexpr int kMaxTableLine = 1023;

bool g_initializing = false;
bool g_checkingPower = false;
// Whether the last identification query got a model word.
bool g_identified = false;
// The main window that has been asked to close while a wait ran.
QPointer<QObject> g_closingMain;

class BusyFlag {
public:
    explicit BusyFlag(bool& flag) : m_flag(flag) { m_flag = true; }
    ~BusyFlag() { m_flag = false; }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;

private:
    bool& m_flag;
};

// Notes a close request of the main window (which puts the close off until the wait is over).
class CloseWatch : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Close)
            g_closingMain = watched;
        return false;
    }
};

bool closeRequested(const frmMain* main)
{
    return main && g_closingMain == main;
}

// Waits on the program clock with events running. Ends early when the link was open and closes.
// Returns false when the program is going away (its main window or link gone, or a close asked),
// so the caller stops its work.
bool waitMs(int ms)
{
    QPointer<frmMain> main = frmMain::instance();
    if (!main) {
        EventWait::pumpFor(ms);
        return false;
    }
    QPointer<QObject> link = main->KVLComm1().object();
    const bool wasOpen = link && CommLink(link).IsOpen();
    const qint64 end = Clock::tickMs() + std::max(ms, 0);

    CloseWatch watch;
    main->installEventFilter(&watch);
    bool goingOn = true;
    {
        EventWait guard;
        for (;;) {
            if (!main || !link || closeRequested(main)) {
                goingOn = false;
                break;
            }
            if (wasOpen && !CommLink(link).IsOpen())
                break;
            const qint64 left = end - Clock::tickMs();
            if (left <= 0)
                break;
            Clock::pumpFor(int(std::min<qint64>(left, kWaitSliceMs)));
        }
    }
    if (main)
        main->removeEventFilter(&watch);
    return goingOn;
}

QString exchange(CommLink& comm, const QString& command, int* status = nullptr);

// Status words are bit fields: read unsigned, so a top bit never spreads into the bits above it.
// Nothing when the query went unanswered or its reply holds no word.
std::optional<quint32> readStatusWord(CommLink& comm, const QString& query)
{
    int status = 0;
    const QString reply = exchange(comm, query + kCR, &status);
    const QString cleaned = CleanReply(reply);
    if (status != 0 || IsUnusableReply(cleaned))
        return std::nullopt;
    return NumberText::statusWord(cleaned);
}

bool bitSet(quint32 word, int bit)
{
    return bit >= 0 && bit < 32 && ((word >> bit) & 1u) != 0;
}

// Amplifier power is on when some axis's amplifier-fault bit is clear.
bool ampPowerOn(quint32 status)
{
    for (int n = 1; n <= gMaxAxes; ++n) {
        if (!bitSet(status, n + 15))
            return true;
    }
    return false;
}

QString exchange(CommLink& comm, const QString& command, int* status)
{
    QString reply(255, QLatin1Char(' '));
    const int r = comm.SendReadAscii(command, reply);
    if (status)
        *status = r;
    return reply;
}

// The model word of an identification reply: its first line up to the first blank.
QString modelWord(const QString& reply)
{
    QString line = reply;
    for (int i = 0; i < line.size(); ++i) {
        if (line.at(i) == QLatin1Char('\r') || line.at(i) == QLatin1Char('\n')) {
            line.truncate(i);
            break;
        }
    }
    line = line.trimmed();
    const int blank = line.indexOf(QLatin1Char(' '));
    return blank >= 0 ? line.left(blank) : line;
}

// One record's fields, read as list input: comma-separated, a field may be enclosed in double
// quotes, blanks around unquoted fields do not count.
QStringList listFields(const QString& line)
{
    QStringList fields;
    const int n = int(line.size());
    int i = 0;
    for (;;) {
        while (i < n && (line.at(i) == QLatin1Char(' ') || line.at(i) == QLatin1Char('\t')))
            ++i;
        QString field;
        if (i < n && line.at(i) == QLatin1Char('"')) {
            const int close = line.indexOf(QLatin1Char('"'), i + 1);
            const int stop = close < 0 ? n : close;
            field = line.mid(i + 1, stop - i - 1);
            i = line.indexOf(QLatin1Char(','), stop);
            if (i < 0)
                i = n;
        } else {
            int comma = line.indexOf(QLatin1Char(','), i);
            if (comma < 0)
                comma = n;
            field = line.mid(i, comma - i).trimmed();
            i = comma;
        }
        fields << field;
        if (i >= n)
            break;
        ++i; // past the comma
    }
    return fields;
}

struct Limits {
    short axes = DefaultMaxAxes;
    short feedbackAxes = DefaultMaxFeedbackAxes;
    short digitalChannels = DefaultMaxDigitalChannels;
    short analogChannels = DefaultMaxAnalogChannels;
};

std::optional<short> countField(const QString& text)
{
    // The number parse would stop at a NUL and take what stands before it.
    if (text.contains(QChar(0)))
        return std::nullopt;
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < 0 || value > 32767)
        return std::nullopt;
    return short(value);
}

// The model's record of the table. The first record of the model decides; a file that cannot be
// read, or a record whose counts are no whole numbers, gives nothing. Records are read whole: a
// line longer than the limit is no record (a long comment, say) and is passed over to its end, so
// its tail cannot pass for a record of its own and the records after it are still found.
std::optional<Limits> lookUpModel(const QString& path, const QString& model)
{
    QByteArray bytes;
    QString reason;
    if (BoundedFile::read(path, &bytes, &reason) != BoundedFile::Outcome::Read)
        return std::nullopt;
    TextLineReader reader(bytes, kMaxTableLine, TextLineReader::LongLines::PassOver);
    QString line;
    while (reader.readLine(line)) {
        Clock::pumpOnce();
        const QStringList fields = listFields(line);
        if (fields.value(0) != model)
            continue;
        if (fields.size() < 5)
            return std::nullopt;
        const auto axes = countField(fields.at(1));
        const auto feedback = countField(fields.at(2));
        const auto digital = countField(fields.at(3));
        const auto analog = countField(fields.at(4));
        if (!axes || !feedback || !digital || !analog)
            return std::nullopt;
        return Limits{*axes, *feedback, *digital, *analog};
    }
    return std::nullopt;
}

void appendReport(frmSplash* splash, int axis, const QString& text)
{
    splash->appendLblInfo(QStringLiteral("Axis -") + NumberText::blankSignedInteger(axis) + QStringLiteral("  ")
                          + text + kCRLF);
}

QString motorTypeReport(const QString& type, bool bothLimits)
{
    static const std::array<const char*, 5> kinds = {
        nullptr, "DC Motor", "Stepper Motor", "Commutated Step Motor", "Commutated Brushless DC Servo Motor"};
    if (type == QLatin1String("0"))
        return bothLimits ? QString() : QStringLiteral("Stage Unknown - Motor Type Undefined");
    for (int k = 1; k < int(kinds.size()); ++k) {
        if (type == QString::number(k)) {
            const QString kind = QString::fromLatin1(kinds[size_t(k)]);
            return bothLimits ? QStringLiteral("No Stage Detected (Configured As ") + kind + QLatin1Char(')')
                              : QStringLiteral("Stage Unknown (Configured As ") + kind + QLatin1Char(')');
        }
    }
    return QStringLiteral("An error has occurred while attempting to determine the motor type");
}

QString busText(CommLink& comm, int bus)
{
    switch (bus) {
    case BUS_TYPE_PCI:
        return QStringLiteral(" PCI Bus") + QStringLiteral(" Device") + NumberText::blankSignedInteger(comm.DeviceID());
    case BUS_TYPE_GPIB:
        return QStringLiteral(" GPIB Bus") + QStringLiteral(" Device") + NumberText::blankSignedInteger(comm.DeviceID());
    case BUS_TYPE_RS232:
        return QStringLiteral(" Com") + NumberText::blankSignedInteger(comm.CommPort());
    case BUS_TYPE_USB:
        return QStringLiteral(" USB Bus") + QStringLiteral(" Device") + NumberText::blankSignedInteger(comm.DeviceID());
    default:
        return QString();
    }
}

// Sends the reset and reopens the link after the restart. False when the program is going away.
bool resetController(CommLink& comm)
{
    comm.setTimerEnabled(false);
    if (comm.SendAscii(QStringLiteral("RS") + kCR) != 0)
        comm.SendAscii(QStringLiteral("RS") + kCR);
    if (!waitMs(kResetSettleMs))
        return false;
    comm.KVLClose();
    for (int second = 0; second < kRestartSeconds; ++second) {
        if (!waitMs(1000))
            return false;
    }
    comm.KVLOpen();
    return true;
}

// After an identification that did not come: what was kept from the last one read, if any.
QString keptLimitsNote()
{
    if (gModel.isEmpty())
        return QString();
    return kCRLF
        + QStringLiteral("The model could not be read from the controller, so the model %1 and its limits "
                         "(%2 axes, %3 feedback axes, %4 digital and %5 analog channels) were not changed.")
              .arg(gModel)
              .arg(gMaxAxes)
              .arg(gMaxFeedbackAxes)
              .arg(gMaxDigitalChannels)
              .arg(gMaxAnalogChannels);
}

// The failure stays in view, also when a link failure on the way hid the program's windows.
void showFailure(frmSplash* splash, const QString& reason)
{
    splash->Label1()->setText(kFailed);
    splash->setLblInfo(reason + kCRLF);
    splash->btnOK()->setEnabled(true);
    splash->Show();
}

} // namespace

// ---------------------------------------------------------------------------------------------

bool InitializeControllerBusy()
{
    return g_initializing;
}

void InitializeController(bool bReset)
{
    QPointer<frmMain> main = frmMain::instance();
    if (!main || g_initializing)
        return;
    BusyFlag busy(g_initializing);
    CommLink comm = main->KVLComm1();

    QPointer<frmSplash> splash = Form::instance<frmSplash>();
    splash->playAnimation(DataFile(kAnimationFile));
    splash->setWindowTitle(QStringLiteral("KVL Initialization"));
    splash->Label1()->setText(QStringLiteral("Initializing KVL"));
    splash->setEnabled(true);
    splash->btnOK()->setEnabled(false);
    splash->Show();
    main->DisableMenu();
    splash->setLblInfo(QString());
    Clock::pumpOnce();

    // Open the link.
    int r = 0;
    const int bus = comm.BusType();
    bool goingOn = true;
    if (!bReset) {
        if (bus == BUS_TYPE_PCI)
            comm.KVLOpen();
        else
            comm.KVLInit();
    } else if (bus == BUS_TYPE_PCI || bus == BUS_TYPE_NONE) {
        // Demo mode has no controller to reset: it starts as demo mode again.
        comm.KVLInit();
    } else {
        comm.KVLOpen();
        r = comm.SendAscii(QStringLiteral("QP"));
        // A link that did not open takes no reset, and no restart is waited for.
        if (r != -1 && comm.BusType() != BUS_TYPE_NONE)
            goingOn = resetController(comm);
    }

    if (!goingOn || !main || !splash) {
        // The program is ending: leave the rest undone.
        if (main)
            main->EnableMenu();
        if (splash)
            splash->stopAnimation();
        return;
    }

    bool failed = false;
    if (r == -1) {
        failed = true;
        showFailure(splash, QStringLiteral("The link to the controller is not open."));
    } else {
        if (!comm.IsOpen())
            comm.KVLOpen();
        if (!comm.IsOpen()) {
            failed = true;
            showFailure(splash, QStringLiteral("The link to the controller is not open."));
        } else {
            g_identified = false;
            // The second look is a go of its own: a first that waited out a silent line lets
            // events run (a stop click) before it asks again. An identification that did not come
            // is asked again too, also when it changed nothing (a model was read before).
            const bool defaults = main->GetMaxAxes();
            if (defaults || (!g_identified && main && comm.BusType() != BUS_TYPE_NONE)) {
                Clock::pumpFor(KVLComm::AskAgainAfterMs);
                if (main)
                    main->GetMaxAxes();
            }
            if (comm.BusType() != BUS_TYPE_NONE && !g_identified) {
                failed = true;
                showFailure(splash, QStringLiteral("The controller does not answer.") + keptLimitsNote());
            }
        }
    }

    if (!failed) {
        const int openBus = comm.BusType();
        if (openBus != BUS_TYPE_NONE)
            DetectStages();
        if (openBus == BUS_TYPE_NONE) {
            splash->setWindowTitle(QStringLiteral("KVL Initialized in Demo Mode "));
            splash->Label1()->setText(QStringLiteral("Demo Mode "));
            splash->btnOK()->setEnabled(true);
        } else {
            splash->setWindowTitle(gModel + QStringLiteral(" Detected On") + busText(comm, openBus));
            splash->Label1()->setText(gModel + QStringLiteral(" Initialized"));
            comm.setTimerEnabled(true);
        }
    }

    main->EnableMenu();
    splash->stopAnimation();

    if (r == -1)
        main->InitError();
}

void DetectStages()
{
    frmMain* main = frmMain::instance();
    if (!main)
        return;
    CommLink comm = main->KVLComm1();
    frmSplash* splash = Form::instance<frmSplash>();

    // A status word that was not read says nothing: no amplifier is absent, no limit is hit and
    // the power is neither on nor off.
    const std::optional<quint32> amplifiers = readStatusWord(comm, QStringLiteral("ZU?"));
    if (!amplifiers)
        splash->appendLblInfo(QStringLiteral("The amplifiers could not be read from the controller") + kCRLF);
    for (int n = 1; amplifiers && n <= gMaxAxes; ++n) {
        if (bitSet(*amplifiers, n - 1)) {
            appendReport(splash, n, QStringLiteral("Axorn7100 Amplifier Detected"));
            gAmplifierPresent = true;
        }
    }
    splash->appendLblInfo(kCRLF);

    const std::optional<quint32> status = readStatusWord(comm, QStringLiteral("PH?"));
    for (int n = 1; n <= gMaxAxes; ++n) {
        const bool bothLimits = status && bitSet(*status, n - 1) && bitSet(*status, n + 7);
        int idStatus = 0;
        const QString idReply = exchange(comm, QString::number(n) + QStringLiteral("ID?") + kCR, &idStatus);
        // An axis whose stage query went unanswered is an unidentified stage, not a stage named "0".
        const bool answered = idStatus == 0 && idReply.contains(kCRLF);
        const QString stage = answered ? FirstReplyLine(idReply) : QStringLiteral("Unknown");
        if (stage != QLatin1String("Unknown")) {
            appendReport(splash, n, stage.section(QLatin1Char(','), 0, 0) + QStringLiteral(" Stage Detected"));
            continue;
        }
        int typeStatus = 0;
        const QString typeReply = exchange(comm, QString::number(n) + QStringLiteral("QM?") + kCR, &typeStatus);
        // A type not read is no type: reported as undetermined, never as type "0".
        const QString type =
            typeStatus == 0 && typeReply.contains(kCRLF) ? FirstReplyLine(typeReply) : QStringLiteral("not read");
        const QString text = motorTypeReport(type, bothLimits);
        if (!text.isEmpty())
            appendReport(splash, n, text);
    }

    // As the power watch does: a status word not read leaves the power state as it was.
    if (status) {
        gAmpPowerOn = ampPowerOn(*status);
        gAmpPowerWasOn = gAmpPowerOn;
    }

    splash->btnOK()->setEnabled(true);
    splash->btnOK()->setFocus();
}

void ResetController()
{
    if (frmMain* main = frmMain::instance()) {
        CommLink comm = main->KVLComm1();
        resetController(comm);
    }
}

void SaveToFlash()
{
    if (gDemoMode)
        return;
    const int answer = MsgBox(QStringLiteral("Save Values To Controllers Flash Memory"),
                              vbOKCancel + vbQuestion + vbMsgBoxSetForeground, kTitle);
    if (answer == vbCancel)
        return;
    if (frmMain* main = frmMain::instance())
        main->KVLComm1().SendAscii(QStringLiteral("SM") + kCR);
}

void SetDemoMode()
{
    frmMain* main = frmMain::instance();
    if (!main)
        return;
    CommLink comm = main->KVLComm1();
    // The flag holds the state: a checkable menu item has already flipped its mark by now.
    if (gDemoMode) {
        const int answer = MsgBox(QStringLiteral("KVL will reset first."),
                                  vbOKCancel + vbQuestion + vbMsgBoxSetForeground, kTitle);
        if (answer != vbCancel) {
            comm.KVLInit();
            gDemoMode = false;
            main->setStatusBarPanelText(2, QString());
        }
    } else {
        gDemoMode = true;
        main->setStatusBarPanelText(2, QStringLiteral("Demo Mode"));
        comm.setBusType(BUS_TYPE_NONE);
        main->noteLinkChosen();
    }
    if (QAction* item = main->mnuFile(6))
        item->setChecked(gDemoMode);
}

void DelayMs(int ms)
{
    waitMs(ms);
}

void CheckAmplifierPower()
{
    // One check at a time: a tick while its question is open, or during an initialisation, is
    // passed over.
    if (g_checkingPower || g_initializing)
        return;
    BusyFlag busy(g_checkingPower);
    frmMain* main = frmMain::instance();
    if (!main)
        return;
    CommLink comm = main->KVLComm1();
    if (!comm.IsOpen())
        return;

    // A query the link did not send, or one left unanswered, ends the check: nothing is concluded
    // from what was not read, just as the start-up concludes nothing from a status it did not read.
    bool sent = true;
    bool answered = true;
    auto read = [&](const QString& query) {
        const QString reply = QueryController(query, &sent, &answered);
        const std::optional<double> value = NumberText::replyNumber(reply, NumberText::Target::I32);
        answered = answered && value.has_value();
        return answered ? int(*value) : 0;
    };
    bool allOff = true;
    for (int n = 1; n <= gMaxAxes; ++n) {
        const int type = read(QString::number(n) + QStringLiteral("QM?"));
        if (!sent || !answered)
            return;
        Clock::pumpOnce();
        if (type > 0) {
            const int on = read(QString::number(n) + QStringLiteral("MO?"));
            if (!sent || !answered)
                return;
            Clock::pumpOnce();
            if (on == 1) {
                allOff = false;
                break;
            }
        }
        if (!frmMain::instance() || !comm.IsOpen())
            return; // the link went away under the check
    }

    if (allOff) {
        // Power is announced only from a status word read in this check.
        const QString reply = QueryController(QStringLiteral("PH?"), &sent, &answered);
        const std::optional<quint32> status = NumberText::statusWord(reply);
        if (!sent || !answered || !status)
            return;
        gAmpPowerOn = ampPowerOn(*status);
    }

    int answer = 0;
    if (gAmpPowerOn && !gAmpPowerWasOn) {
        answer = MsgBox(QStringLiteral("Amplifier power ON was detected. ")
                            + QStringLiteral("Do you want to reset and reinitialize the controller?"),
                        vbYesNo + vbQuestion + vbMsgBoxSetForeground, kTitle);
    }
    gAmpPowerWasOn = gAmpPowerOn;
    if (answer == vbYes)
        InitializeController(true);
}

void InstallControllerHandlers()
{
    frmMain::setInitializeControllerHandler([](bool bReset) { InitializeController(bReset); });
    frmMain::setShowBusTypeHandler([] {
        frmBusType* window = Form::instance<frmBusType>();
        window->setEnabled(true);
        window->Show();
    });
    frmMain::setCheckAmplifierPowerHandler([] { CheckAmplifierPower(); });
    // The File and Setup menus' commands.
    CommandDispatcher::setProcedure(QStringLiteral("SaveToFlash"), [] { SaveToFlash(); });
    CommandDispatcher::setProcedure(QStringLiteral("SetDemoMode"), [] { SetDemoMode(); });
    CommandDispatcher::setWindow(QStringLiteral("frmBusType"), [] { return Form::instance<frmBusType>(); });
}

} // namespace KvlXGlobal

// ---------------------------------------------------------------------------------------------
// The main window's limits lookup: the model word of "VE?" looked up in the model table.

bool frmMain::GetMaxAxes()
{
    using namespace KvlXGlobal;
    CommLink comm = KVLComm1();
    if (!comm.IsOpen() || comm.BusType() == BUS_TYPE_NONE)
        return false;

    const QString model = modelWord(exchange(comm, QStringLiteral("VE?") + kCR));
    g_identified = !model.isEmpty();
    // Once a model was read, only another read changes it: a lost identification at a
    // re-initialisation says nothing about the controller, so its model and limits stay.
    if (!g_identified && !gModel.isEmpty())
        return false;
    std::optional<Limits> limits;
    if (g_identified) {
        gModel = model;
        limits = lookUpModel(DataFile(ModelTableName()), model);
    }
    const Limits applied = limits.value_or(Limits{});

    CGuiState* gui = m_guiState ? m_guiState.data() : comm.GetGuiStateObject();
    if (gui) {
        gui->setMaxAxes(applied.axes);
        gui->setMaxFeedbackAxes(applied.feedbackAxes);
        gui->setMaxDigitalChannels(applied.digitalChannels);
        gui->setMaxAnalogChannels(applied.analogChannels);
        gMaxAxes = gui->MaxAxes();
        gMaxFeedbackAxes = gui->MaxFeedbackAxes();
        gMaxDigitalChannels = gui->MaxDigitalChannels();
        gMaxAnalogChannels = gui->MaxAnalogChannels();
    }
    return !limits.has_value();
}
