#include "utility/shell/KvlXGlobal.h"

#include "library/link/Global.h"
#include "library/link/NumberText.h"
#include "platform/RuntimeError.h"
#include "platform/kernel/OsVersion.h"
#include "platform/ui/MsgBox.h"
#include "utility/shell/EventWait.h"
#include "utility/shell/Form.h"
#include "utility/shell/SettingsStore.h"
#include "utility/shell/frmErrors.h"
#include "utility/shell/frmMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <limits>
#include <optional>

using namespace platform;

namespace KvlXGlobal {

short gMaxAxes = 0;
short gMaxFeedbackAxes = 0;
short gMaxDigitalChannels = 0;
short gMaxAnalogChannels = 0;
QString gModel;
QString gUnitNames[UnitNameCount];
short gBusChoice = 0;
bool gFirstRun = false;
bool gCommBroken = false;
bool gDemoMode = false;
bool gAppClosing = false;
bool gAmplifierPresent = false;
bool gAmpPowerOn = false;
bool gAmpPowerWasOn = false;
QStringList gChildFormNames;
QString gOldParams[OldParamAxes + 1][OldParamPositions];

namespace {

QString g_appPath;

const QString kLeft = QStringLiteral("Left");
const QString kTop = QStringLiteral("Top");
const QString kWidth = QStringLiteral("Width");
const QString kHeight = QStringLiteral("Height");

bool isSizable(const Form* frm)
{
    return frm->BorderStyle() == Form::vbSizable;
}

// A stored place: a number rounded to a whole one that fits 32 bits, else nothing.
std::optional<int> storedPlace(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value);
    if (rounded < double(std::numeric_limits<qint32>::min()) || rounded > double(std::numeric_limits<qint32>::max()))
        return std::nullopt;
    return static_cast<int>(rounded);
}

// A stored size: as a place, and more than nothing (a size of nothing or less is no size, and the
// window keeps its own).
std::optional<int> storedSize(const QString& text)
{
    const std::optional<int> value = storedPlace(text);
    return value.value_or(0) > 0 ? value : std::nullopt;
}

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f');
}

// Upper case within the 8-bit character set: a letter whose capital lies outside it (the micro
// sign) stays as it is, so the line still goes over the wire unchanged.
void upperCaseInPlace(QString& text)
{
    for (QChar& c : text) {
        const QChar upper = c.toUpper();
        if (upper.unicode() <= 0xFF)
            c = upper;
    }
}

// The first letter A to Z among the first 200 characters, and the character after it.
bool firstLetter(const QString& cmd, QChar* letter, QChar* next)
{
    const int limit = std::min<int>(int(cmd.size()), 200);
    for (int i = 0; i < limit; ++i) {
        const QChar c = cmd.at(i);
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) {
            *letter = c;
            *next = i + 1 < cmd.size() ? cmd.at(i + 1) : QChar();
            return true;
        }
    }
    return false;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Start

void InitUnitNames()
{
    // The same names as the control library's table, in the program's own copy.
    Global::InitUnitNames();
    for (int code = 0; code < UnitNameCount; ++code)
        gUnitNames[code] = Global::gUnitNames[code];
}

QString AppPath()
{
    if (!g_appPath.isEmpty())
        return g_appPath;
    return QCoreApplication::applicationDirPath();
}

void setAppPath(const QString& folder)
{
    g_appPath = folder;
}

QString DataFile(const QString& name)
{
    const QDir program(AppPath());
    const QString beside = program.filePath(name);
    if (QFileInfo(beside).isFile())
        return beside;
    // The build passes the installed data folder as seen from the installed program's folder.
    const QString installed = QDir(program.filePath(QStringLiteral(MOXTREL_DATA_FROM_BIN))).filePath(name);
    return QFileInfo(installed).isFile() ? QDir::cleanPath(installed) : beside;
}

// ---------------------------------------------------------------------------------------------
// Window places

void SaveFormPosition(Form* frm)
{
    if (!frm)
        return;
    const QRect place = frm->normalPlace();
    const QString section = frm->Name();
    SettingsStore::SaveSetting(section, kLeft, QString::number(place.x()));
    SettingsStore::SaveSetting(section, kTop, QString::number(place.y()));
    if (isSizable(frm)) {
        SettingsStore::SaveSetting(section, kWidth, QString::number(place.width()));
        SettingsStore::SaveSetting(section, kHeight, QString::number(place.height()));
    }
}

void RestoreFormPosition(Form* frm)
{
    if (!frm)
        return;
    const QString section = frm->Name();
    const auto left = storedPlace(SettingsStore::GetSetting(section, kLeft, QString()));
    const auto top = storedPlace(SettingsStore::GetSetting(section, kTop, QString()));
    std::optional<int> height;
    std::optional<int> width;
    if (isSizable(frm)) {
        height = storedSize(SettingsStore::GetSetting(section, kHeight, QString()));
        width = storedSize(SettingsStore::GetSetting(section, kWidth, QString()));
    }
    if (left)
        frm->setLeft(*left);
    if (top)
        frm->setTop(*top);
    if (height)
        frm->setHeight(*height);
    if (width)
        frm->setWidth(*width);
    // A place or a size stored on a larger screen, or edited by hand, is brought back where the
    // window can be seen whole.
    if (height || width)
        frm->limitSizeToView();
    frm->pullIntoView();
}

void SaveFormLeftTop(const QString& formName, int top, int left)
{
    SettingsStore::SaveSetting(formName, kLeft, QString::number(left));
    SettingsStore::SaveSetting(formName, kTop, QString::number(top));
}

void ResetDesktopLayout()
{
    int x = 100;
    int y = 100;
    for (const QString& name : gChildFormNames) {
        SaveFormLeftTop(name, y, x);
        x += 500;
        y += 500;
    }
    for (Form* frm : Form::Forms()) {
        if (frm->Name() != QLatin1String("frmMain"))
            RestoreFormPosition(frm);
    }
}

void CloseChildForms()
{
    for (Form* frm : Form::Forms()) {
        if (frm->Visible() && frm->Name() != QLatin1String("frmMain"))
            Form::Unload(frm);
    }
}

// ---------------------------------------------------------------------------------------------
// Error display and controller

short ShowError(const QString& msg, short code)
{
    frmErrors* errors = Form::instance<frmErrors>();
    errors->Show();
    if (code != 1) {
        if (QObject* panel = errors->KVLError1()) {
            QVariantList args{msg};
            invokeByName(panel, QStringLiteral("ErrorMsg"), MemberKind::PropertyPut, args);
        }
        return 0;
    }

    const int answer = MsgBox(QStringLiteral("Communications timeout has occurred. System must be reset."),
                              vbOKCancel + vbCritical, QStringLiteral("KVL: Fatal Error"));
    frmMain* main = frmMain::instance();
    if (answer == vbOK) {
        if (main)
            main->KVLComm1().KVLInit();
    } else if (main) {
        // The caller may be deep in a transfer: the program ends from the event loop, not under it.
        EventWait::runWhenIdle(main, [main] { main->close(); });
    } else {
        QCoreApplication::quit();
    }
    return 0;
}

QString QueryController(const QString& cmd)
{
    QString reply(255, QLatin1Char(' '));
    if (frmMain* main = frmMain::instance())
        main->KVLComm1().SendReadAscii(cmd + QLatin1Char('\r'), reply);
    else
        reply.clear();
    const QString cleaned = CleanReply(reply);
    if (IsUnusableReply(cleaned))
        MsgBox(QStringLiteral("Invalid response to command: ") + cmd, vbOKOnly + vbCritical, QStringLiteral("ASCII Query"));
    return cleaned;
}

bool IsUnusableReply(const QString& cleaned)
{
    return cleaned.isEmpty() || cleaned.contains(QLatin1String("No data")) || cleaned.contains(QLatin1String("No Message"));
}

QString CleanReply(const QString& text)
{
    QString result;
    for (int i = 1; i <= 200; ++i) {
        if (i > text.size())
            continue; // past the end: nothing to take, and no terminator either
        const QChar c = text.at(i - 1);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) {
            result += c;
        } else if (i >= 3) {
            return result;
        }
    }
    return QString();
}

short ReadErrorMessage()
{
    if (gDemoMode)
        return 0;
    if (frmMain* main = frmMain::instance()) {
        QString reply(255, QLatin1Char(' '));
        main->KVLComm1().SendReadAscii(QStringLiteral("TB?\r"), reply);
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Text helpers

int HexToValue(const QString& text)
{
    // Up to four digits stay an unsigned 16-bit word, so a word read here and written back is
    // unchanged; more than eight digits are no word of the controller and give 0.
    return static_cast<qint32>(NumberText::statusWord(text).value_or(0));
}

QString HexToBinary(const QString& text)
{
    QString binary;
    for (const QChar c : text) {
        if (!isHexDigit(c))
            break;
        const int digit = QString(c).toInt(nullptr, 16);
        binary += QStringLiteral("%1").arg(digit, 4, 2, QLatin1Char('0'));
    }
    return binary + QLatin1Char('B');
}

short GetBinaryBit(const QString& binText, short bitNo)
{
    const int position = int(binText.size()) - bitNo - 1; // counted from 1
    if (position < 1 || position > binText.size())
        return 0;
    return binText.at(position - 1) == QLatin1Char('1') ? 1 : 0;
}

bool TrackProgramMode(QString& cmd, bool current)
{
    upperCaseInPlace(cmd);
    QChar letter;
    QChar next;
    if (!firstLetter(cmd, &letter, &next))
        return false;
    if (letter == QLatin1Char('E'))
        return next == QLatin1Char('P');
    if (letter == QLatin1Char('Q'))
        return false;
    return current;
}

bool IsResetCommand(QString& cmd)
{
    upperCaseInPlace(cmd);
    QChar letter;
    QChar next;
    return firstLetter(cmd, &letter, &next) && letter == QLatin1Char('R') && next == QLatin1Char('S');
}

bool IsListProgramCommand(QString& cmd)
{
    upperCaseInPlace(cmd);
    QChar letter;
    QChar next;
    return firstLetter(cmd, &letter, &next) && letter == QLatin1Char('L') && next == QLatin1Char('P');
}

QString FirstReplyLine(const QString& text)
{
    const int end = text.indexOf(QLatin1String("\r\n"));
    if (end < 0)
        return QStringLiteral("0");
    return text.left(end);
}

int WindowsMajorVersion()
{
    return GetVersionEx().majorVersion & 0xFF;
}

} // namespace KvlXGlobal
