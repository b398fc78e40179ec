#include "utility/files/ParameterFiles.h"

#include "library/link/BusType.h"
#include "library/link/NumberText.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/FileDialog.h"
#include "platform/ui/MsgBox.h"
#include "utility/files/CommandFileWriter.h"
#include "utility/files/ParameterFileRun.h"
#include "utility/files/frmProgress.h"
#include "utility/shell/AnswerCheck.h"
#include "utility/shell/LineWait.h"
#include "utility/shell/BoundedFile.h"
#include "utility/shell/CommandDispatcher.h"
#include "utility/shell/ControllerInit.h"
#include "utility/shell/ControllerQuery.h"
#include "utility/shell/DataFiles.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/TextLineReader.h"
#include "utility/shell/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

using namespace platform;

namespace KvlXGlobal {

namespace {

const QString kProgramTitle = QStringLiteral("Moxtrel");
// The restore's closing box has always carried this title; operators know it by it.
const QString kRestoreTitle = QStringLiteral("Tansmit Configuration");
const QString kSaveTitle = QStringLiteral("Save To File");
const QString kConvertTitle = QStringLiteral("Convert To ASCII File Format");
const QString kTextFilter = QStringLiteral("Text Files (*.TXT)|*.txt|All Files (*.*)|*.*");
const QString kSaveFilter = QStringLiteral("Text Files (*.TXT) | *.txt");
const QString kOldFilter = QStringLiteral("(*.txt) | *.txt");
const QString kSaveFolder = QStringLiteral("/Tarvelle/KVL/Terminal");
const QString kOptionFileName = QStringLiteral("TerminalControlOption.txt");
const QString kTemplateFileName = QStringLiteral("TerminalSaveTemplate.txt");
const QString kCRLF = QStringLiteral("\r\n");

constexpr int kLinePauseMs = 5;
constexpr int kMaxTemplateEntries = 256;
constexpr int kMaxSavedAxes = 12;

bool g_busy = false;
// The source line of each cell of gOldParams, for messages about it (0: not from a file).
int g_oldParamLines[OldParamAxes + 1][OldParamPositions] = {};
QString g_oldParamSource;

QString nativePath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QString fileError(const QString& what, const QString& path, const QString& reason)
{
    return what + kCRLF + nativePath(path) + kCRLF + reason;
}

// The whole file the user pointed at; nothing, with a message naming the file, when it is no
// regular file that can be read whole.
std::optional<QByteArray> readWhole(const QString& path, QString* error)
{
    QByteArray bytes;
    QString reason;
    switch (BoundedFile::read(path, &bytes, &reason)) {
    case BoundedFile::Outcome::Read:
        return bytes;
    case BoundedFile::Outcome::NotOpened:
        *error = fileError(QStringLiteral("The file could not be opened:"), path, reason);
        break;
    case BoundedFile::Outcome::NotRead:
        *error = fileError(QStringLiteral("The file could not be read:"), path, reason);
        break;
    }
    return std::nullopt;
}

QString linesText(int count)
{
    return count == 1 ? QStringLiteral("1 line") : QStringLiteral("%1 lines").arg(count);
}

// Blanks only: a tab or a line end is part of the text.
QString trimBlanks(const QString& text)
{
    int begin = 0;
    int end = int(text.size());
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

// A text for a message: control characters (a NUL among them) shown as "\xNN".
QString shownText(const QString& text)
{
    QString shown;
    for (QChar c : text)
        shown += c.unicode() < 0x20 ? QStringLiteral("\\x%1").arg(int(c.unicode()), 2, 16, QLatin1Char('0')) : QString(c);
    return shown;
}

// The first control character of a line of a command file (a NUL among them), or -1. A tab is
// text; bytes from 128 up are Latin-1 text (the micro sign).
int controlCharacter(const QString& line)
{
    for (QChar c : line) {
        const char16_t code = c.unicode();
        if ((code < 0x20 && code != u'\t') || code == 0x7F)
            return int(code);
    }
    return -1;
}

// Refuses, with one message, a command that needs a controller when there is none to talk to.
bool linkReady(frmMain* main, const QString& consequence, const QString& title)
{
    CommLink comm = main->KVLComm1();
    QString why;
    if (gDemoMode || comm.BusType() == BUS_TYPE_NONE)
        why = QStringLiteral("The program is in demo mode: no controller is connected");
    else if (!comm.IsOpen())
        why = QStringLiteral("The link to the controller is not open");
    if (why.isEmpty())
        return true;
    MsgBox(why + QStringLiteral(", so ") + consequence, vbOKOnly + vbExclamation, title);
    return false;
}

// The program's data file, or the one the user picks when it is not there.
QString programFileOrChosen(const QString& name, const QString& dialogTitle)
{
    const QString path = DataFile(name);
    if (QFileInfo(path).isFile())
        return path;
    return ChooseExistingFile(dialogTitle, kTextFilter);
}

// The number of axes the option file's line of the model names, or nothing (with a message).
std::optional<int> savedAxisCount(const QString& path, const QString& model)
{
    QString error;
    const std::optional<QByteArray> bytes = readWhole(path, &error);
    if (!bytes) {
        MsgBox(QStringLiteral("The control option file could not be used.") + kCRLF + error, vbOKOnly + vbExclamation,
               kSaveTitle);
        return std::nullopt;
    }
    TextLineReader reader(*bytes);
    QString line;
    std::optional<int> count;
    while (reader.readLine(line)) {
        if (!line.contains(model))
            continue;
        const int tab = line.indexOf(QLatin1Char('\t'));
        if (tab >= 0) {
            const double value = NumberText::parseReply(line.mid(tab + 1));
            if (value == std::floor(value) && value >= 1 && value <= kMaxSavedAxes)
                count = int(value);
        }
        break;
    }
    if (reader.failed()) {
        MsgBox(fileError(QStringLiteral("The control option file could not be read:"), path, reader.errorString()),
               vbOKOnly + vbExclamation, kSaveTitle);
        return std::nullopt;
    }
    if (!count)
        MsgBox(QStringLiteral("Invalid control option file specified."), vbOKOnly + vbExclamation, kSaveTitle);
    return count;
}

struct TemplateEntry {
    bool perAxis = false;
    QString mnemonic;
};

// The save template's entries in file order, or nothing (with a message).
std::optional<std::vector<TemplateEntry>> templateEntries(const QString& path)
{
    QString error;
    const std::optional<QByteArray> bytes = readWhole(path, &error);
    if (!bytes) {
        MsgBox(QStringLiteral("The save template file could not be used.") + kCRLF + error, vbOKOnly + vbExclamation,
               kSaveTitle);
        return std::nullopt;
    }
    TextLineReader reader(*bytes);
    std::vector<TemplateEntry> entries;
    bool anyPerAxis = false;
    QString line;
    while (reader.readLine(line)) {
        TemplateEntry entry;
        if (line.contains(QLatin1String("<xx>"))) {
            entry.perAxis = true;
            entry.mnemonic = trimBlanks(line.mid(line.indexOf(QLatin1Char('>')) + 1));
        } else {
            entry.mnemonic = trimBlanks(line);
        }
        if (entry.mnemonic.isEmpty())
            continue; // an empty line, or "<xx>" naming no command
        if (int(entries.size()) == kMaxTemplateEntries) {
            MsgBox(QStringLiteral("The save template file holds more than %1 entries:").arg(kMaxTemplateEntries) + kCRLF
                       + nativePath(path),
                   vbOKOnly + vbExclamation, kSaveTitle);
            return std::nullopt;
        }
        anyPerAxis = anyPerAxis || entry.perAxis;
        entries.push_back(entry);
    }
    if (reader.failed()) {
        MsgBox(fileError(QStringLiteral("The save template file could not be read:"), path, reader.errorString()),
               vbOKOnly + vbExclamation, kSaveTitle);
        return std::nullopt;
    }
    if (!anyPerAxis) {
        MsgBox(QStringLiteral("Invalid save template file specified."), vbOKOnly + vbExclamation, kSaveTitle);
        return std::nullopt;
    }
    return entries;
}

// Queries every entry and writes the answers to target, per-axis entries for every axis first,
// then the controller-wide ones. Returns what went wrong, or nothing; on a failure the target is
// left as it was.
QString writeParameters(const QString& target, int axes, const std::vector<TemplateEntry>& entries)
{
    CommandFileWriter writer(target);
    if (!writer.open())
        return fileError(QStringLiteral("The file could not be created:"), target, writer.errorString());
    QStringList queries;
    QStringList heads;
    for (int axis = 1; axis <= axes; ++axis) {
        for (const TemplateEntry& entry : entries) {
            if (entry.perAxis) {
                heads << QString::number(axis) + entry.mnemonic;
                queries << heads.last() + QLatin1Char('?');
            }
        }
    }
    for (const TemplateEntry& entry : entries) {
        if (!entry.perAxis) {
            heads << entry.mnemonic;
            queries << entry.mnemonic + QLatin1Char('?');
        }
    }
    const QString leftAsItWas = kCRLF + nativePath(target) + kCRLF + QStringLiteral("was left as it was.");
    for (int i = 0; i < queries.size(); ++i) {
        // The desktop paints and the stop window takes its click between the queries.
        Clock::pumpOnce();
        bool sent = true;
        bool answered = false;
        const QString reply = QueryController(queries.at(i), &sent, &answered);
        if (!answered || IsUnusableReply(reply) || !frmMain::instance()) {
            return QStringLiteral("The controller gave no usable reply to %1, so the parameters were not saved.")
                       .arg(queries.at(i))
                + leftAsItWas;
        }
        // A reply such as "-" would be saved as a line that sets nothing sensible when restored.
        QString marked = reply;
        NumberText::markHex(marked);
        if (!NumberText::replyNumber(marked, NumberText::Target::Double)) {
            return QStringLiteral("The controller's reply \"%1\" to %2 is no value, so the parameters were not saved.")
                       .arg(shownText(reply), queries.at(i))
                + leftAsItWas;
        }
        writer.writeLine(heads.at(i) + reply);
    }
    if (!writer.commit())
        return fileError(QStringLiteral("The file could not be written:"), target, writer.errorString()) + kCRLF
            + QStringLiteral("The parameters were not saved; the file was left as it was.");
    return QString();
}

// What a line of the converted file carries after its mnemonic.
enum class Value { Cell, Text, AxisNumber, TrajectoryCode, HexCell };

struct ConvertedRow {
    const char* mnemonic;
    Value value;
    int position; // the cell, for Cell and HexCell
    const char* text; // for Text
};

// The converted file's lines per axis, in the order the controller takes them.
const ConvertedRow kConvertedRows[] = {
    {"QM ", Value::Cell, 14, nullptr},           {"SN ", Value::Cell, 11, nullptr},
    {"SU ", Value::Cell, 10, nullptr},           {"FR ", Value::Cell, 29, nullptr},
    {"QS ", Value::Cell, 28, nullptr},           {"QV ", Value::Cell, 41, nullptr},
    {"QI ", Value::Cell, 30, nullptr},           {"QG ", Value::Cell, 38, nullptr},
    {"QT ", Value::Cell, 39, nullptr},           {"SL ", Value::Cell, 16, nullptr},
    {"SR ", Value::Cell, 15, nullptr},           {"TJ ", Value::TrajectoryCode, 13, nullptr},
    {"OM ", Value::Text, 0, "1"},                {"VU ", Value::Cell, 0, nullptr},
    {"VA ", Value::Cell, 4, nullptr},            {"JH ", Value::Cell, 1, nullptr},
    {"JW ", Value::Cell, 1, nullptr},            {"OH ", Value::Cell, 2, nullptr},
    {"VB ", Value::Cell, 3, nullptr},            {"AU ", Value::Cell, 5, nullptr},
    {"AC ", Value::Cell, 6, nullptr},            {"AG ", Value::Cell, 7, nullptr},
    {"AE ", Value::Cell, 37, nullptr},           {"JK ", Value::Cell, 9, nullptr},
    {"KP ", Value::Cell, 18, nullptr},           {"KI ", Value::Cell, 22, nullptr},
    {"KD ", Value::Cell, 20, nullptr},           {"VF ", Value::Cell, 25, nullptr},
    {"AF ", Value::Cell, 26, nullptr},           {"KS ", Value::Cell, 24, nullptr},
    {"FE ", Value::Cell, 27, nullptr},           {"DB ", Value::Text, 0, "0"},
    {"CL ", Value::Text, 0, "0"},                {"SS ", Value::AxisNumber, 0, nullptr},
    {"GR ", Value::Cell, 42, nullptr},           {"SI ", Value::Text, 0, "1"},
    {"SK ", Value::Text, 0, "1,0"},              {"ZA ", Value::HexCell, 34, nullptr},
    {"ZB ", Value::HexCell, 35, nullptr},        {"ZE ", Value::HexCell, 36, nullptr},
    {"ZF ", Value::HexCell, 31, nullptr},        {"ZH ", Value::HexCell, 32, nullptr},
    {"ZS ", Value::HexCell, 33, nullptr},
};

// The trajectory mode code of the old file's motion profile number; nothing keeps the code of the
// axis before.
std::optional<int> trajectoryCode(const QString& cell)
{
    const double value = NumberText::parseReply(cell);
    // Only the small codes below mean anything; a larger number must not be cast to int.
    if (value != std::floor(value) || value < 0 || value > 100)
        return std::nullopt;
    switch (int(value)) {
    case 3:
    case 4: return 1;
    case 5: return 2;
    case 6: return 5;
    case 7: return 4;
    case 8: return 3;
    case 28: return 6;
    default: return std::nullopt;
    }
}

// Only an optional sign and decimal digits. The number parse would stop at a NUL and take "2", NUL,
// NUL for 2, or "255", NUL, "junk" for 255.
bool signedDigits(const QString& text)
{
    const QString digits = text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+')) ? text.mid(1) : text;
    return !digits.isEmpty()
        && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// A configuration cell as upper-case hexadecimal and "H"; a negative value in 32-bit two's
// complement, as the controller's words are. Nothing when the cell holds no whole number, with
// *outOfRange set when it holds one that no 32-bit word can.
std::optional<QString> hexCell(const QString& cell, bool* outOfRange)
{
    *outOfRange = false;
    if (!signedDigits(cell))
        return std::nullopt;
    bool ok = false;
    const qlonglong value = cell.toLongLong(&ok, 10);
    // Digits too many even for 64 bits are a whole number all the same.
    if (!ok || value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max()) {
        *outOfRange = true;
        return std::nullopt;
    }
    return QString::number(quint32(qint32(value)), 16).toUpper() + QLatin1Char('H');
}

QString cellPlace(int axis, int position)
{
    const int line = g_oldParamLines[axis][position];
    if (line <= 0)
        return QString();
    return QStringLiteral(" (line %1 of %2)").arg(line).arg(nativePath(g_oldParamSource));
}

// A value cell the controller takes as a number: empty (the line then carries none), or a plain
// decimal with an optional exponent that a double holds. "1e309", "NaN", "abc" and a number
// followed by a NUL are none.
bool plainNumberCell(const QString& cell)
{
    if (cell.isEmpty())
        return true;
    bool ok = false;
    const double value = cell.toDouble(&ok);
    return NumberText::isPlainDecimal(cell) && ok && std::isfinite(value);
}

QString cellRefusal(const QString& name, const QString& cell, int axis, int position, const QString& fault)
{
    return QStringLiteral("The %1 value \"%2\" of axis %3%4 %5, so nothing was converted.")
        .arg(name, shownText(cell))
        .arg(axis)
        .arg(cellPlace(axis, position), fault);
}

// Old files describe at most six axes: a controller with more, or none identified, gets none.
bool axesConvertible(QString* error)
{
    if (gMaxAxes >= 1 && gMaxAxes <= OldParamAxes)
        return true;
    *error = QStringLiteral("Old parameter files hold 1 to %1 axes; the controller has %2, so nothing was "
                            "converted.")
                 .arg(OldParamAxes)
                 .arg(gMaxAxes);
    return false;
}

// The converted file's lines, or nothing (with the reason) when a value cannot be converted.
std::optional<QStringList> convertedLines(QString* error)
{
    if (!axesConvertible(error))
        return std::nullopt;
    QStringList lines;
    int code = 0;
    for (int axis = 1; axis <= gMaxAxes; ++axis) {
        const QString prefix = NumberText::blankSignedInteger(axis);
        for (const ConvertedRow& row : kConvertedRows) {
            const QString mnemonic = QString::fromLatin1(row.mnemonic);
            QString value;
            switch (row.value) {
            case Value::Cell:
                value = gOldParams[axis][row.position];
                if (!plainNumberCell(value)) {
                    *error = cellRefusal(mnemonic.trimmed(), value, axis, row.position,
                                         QStringLiteral("is no number the controller takes"));
                    return std::nullopt;
                }
                break;
            case Value::Text:
                value = QString::fromLatin1(row.text);
                break;
            case Value::AxisNumber:
                value = QString::number(axis);
                break;
            case Value::TrajectoryCode:
                // A profile number with a NUL in it would be read up to the NUL.
                if (controlCharacter(gOldParams[axis][row.position]) >= 0) {
                    *error = cellRefusal(mnemonic.trimmed(), gOldParams[axis][row.position], axis, row.position,
                                         QStringLiteral("is no number the controller takes"));
                    return std::nullopt;
                }
                code = trajectoryCode(gOldParams[axis][row.position]).value_or(code);
                value = QString::number(code);
                break;
            case Value::HexCell: {
                const QString& cell = gOldParams[axis][row.position];
                bool outOfRange = false;
                const std::optional<QString> hex = hexCell(cell, &outOfRange);
                if (!hex) {
                    const QString name = mnemonic.trimmed();
                    const QString fault = outOfRange ? QStringLiteral("is out of range (a configuration word holds "
                                                                      "-2147483648 to 2147483647)")
                                                     : QStringLiteral("is no whole number");
                    *error = cell.isEmpty()
                        ? QStringLiteral("The old file holds no %1 value for axis %2 (position %3), so nothing was "
                                         "converted.")
                              .arg(name)
                              .arg(axis)
                              .arg(row.position)
                        : cellRefusal(name, cell, axis, row.position, fault);
                    return std::nullopt;
                }
                value = *hex;
                break;
            }
            }
            lines << prefix + mnemonic + value;
        }
    }
    lines << QStringLiteral(" SM");
    return lines;
}

bool writeWhole(const QString& path, const QStringList& lines, QString* error)
{
    CommandFileWriter writer(path);
    if (!writer.open()) {
        *error = fileError(QStringLiteral("The file could not be created:"), path, writer.errorString());
        return false;
    }
    for (const QString& line : lines)
        writer.writeLine(line);
    if (!writer.commit()) {
        *error = fileError(QStringLiteral("The file could not be written:"), path, writer.errorString());
        return false;
    }
    return true;
}

void clearOldParams()
{
    for (int axis = 0; axis <= OldParamAxes; ++axis) {
        for (int position = 0; position < OldParamPositions; ++position) {
            gOldParams[axis][position].clear();
            g_oldParamLines[axis][position] = 0;
        }
    }
    g_oldParamSource.clear();
}

QString quotedLine(const QString& line)
{
    constexpr int shown = 80;
    // Control characters as "\xNN": a NUL would end the message where it stands.
    return QLatin1Char('"') + shownText(line.size() > shown ? line.left(shown) + QStringLiteral("...") : line)
        + QLatin1Char('"');
}

} // namespace

// ---------------------------------------------------------------------------------------------

bool ParameterFileBusy()
{
    return g_busy;
}

QString ChooseExistingFile(const QString& title, const QString& filter)
{
    for (;;) {
        const QString path = GetOpenFileName(frmMain::instance(), title, QString(), filter);
        // Anything that is there is taken; its reader refuses what is no regular file, saying so.
        if (path.isEmpty() || QFileInfo::exists(path))
            return path;
        MsgBox(path + QStringLiteral(" not found!"), vbOKOnly + vbExclamation, kProgramTitle);
    }
}

void RestoreFromFile()
{
    QPointer<frmMain> main = frmMain::instance();
    if (!main || g_busy || InitializeControllerBusy())
        return;
    QScopedValueRollback<bool> busy(g_busy, true);
    if (!linkReady(main, QStringLiteral("nothing was sent."), kRestoreTitle))
        return;

    const QString path = ChooseExistingFile(QStringLiteral("Send Text File"), kTextFilter);
    if (path.isEmpty() || !main)
        return;
    // The file is read whole before the first line goes out: a file that cannot be read, or that
    // changes while it is read, sends nothing, and what is sent is the file as it was opened.
    QString readError;
    const std::optional<QByteArray> content = readWhole(path, &readError);
    if (!content || content->isEmpty()) {
        MsgBox((content ? QStringLiteral("The file") + kCRLF + nativePath(path) + kCRLF + QStringLiteral("is empty.")
                        : readError)
                   + kCRLF + QStringLiteral("Nothing was sent to the controller."),
               vbOKOnly + vbExclamation, kRestoreTitle);
        return;
    }
    const qint64 length = content->size();
    QStringList lines;
    {
        TextLineReader reader(*content);
        QString line;
        while (reader.readLine(line)) {
            // A file that is not text (a program, an image, any binary data) must not go out as
            // commands, and a NUL would be cut off on the PCI board's C-string send: the whole file
            // is refused before anything is sent.
            if (const int code = controlCharacter(line); code >= 0) {
                MsgBox(QStringLiteral("Line %1 of").arg(reader.lineNumber()) + kCRLF + nativePath(path) + kCRLF
                           + QStringLiteral("holds the control character \\x%1: this is not a text file of commands.")
                                 .arg(code, 2, 16, QLatin1Char('0'))
                           + kCRLF + QStringLiteral("Nothing was sent to the controller."),
                       vbOKOnly + vbExclamation, kRestoreTitle);
                return;
            }
            lines << line;
        }
        if (reader.failed()) {
            MsgBox(fileError(QStringLiteral("The file could not be read:"), path, reader.errorString()) + kCRLF
                       + QStringLiteral("Nothing was sent to the controller."),
                   vbOKOnly + vbExclamation, kRestoreTitle);
            return;
        }
    }

    int linesSent = 0;
    bool sendFailed = false;
    bool confirmed = true;
    QString unconfirmed;
    {
        ParameterFileRun run(main);
        CommLink comm = run.comm();
        const int bus = comm.BusType();
        QPointer<frmProgress> progress = Form::instance<frmProgress>();
        progress->setRunning(true);
        progress->ProgressBar1()->setMaximum(100);
        progress->ProgressBar1()->setValue(0);
        progress->Label1()->setText(nativePath(path));
        progress->Show();

        qint64 charactersSent = 0;
        for (const QString& line : std::as_const(lines)) {
            // A line written before the port can take it would wait in the port with nothing painted.
            if (!main || comm.isNull() || !LineWait::roomToSend(comm) || comm.SendAscii(line) != 0) {
                sendFailed = true;
                break;
            }
            ++linesSent;
            charactersSent += line.size();
            if (progress && length > 0)
                progress->ProgressBar1()->setValue(int(100 * charactersSent / length));
            // The clock's own wait: a close asked meanwhile must not cut the pacing short.
            Clock::pumpFor(kLinePauseMs);
        }
        // The lines are not answered: only a query answered afterwards shows that they arrived.
        if (!sendFailed)
            confirmed = AnswerCheck::controllerAnswers(comm, bus, &unconfirmed);
        if (progress) {
            progress->setRunning(false);
            Form::Unload(progress);
        }
    }

    if (sendFailed) {
        const QString reached = linesSent == 0 ? QStringLiteral("Nothing reached the controller.")
                                               : linesText(linesSent) + QStringLiteral(" reached the controller "
                                                                                       "before it.");
        MsgBox(QStringLiteral("Sending stopped at line %1 of").arg(linesSent + 1) + kCRLF + nativePath(path) + kCRLF
                   + QStringLiteral("because the link to the controller failed. ") + reached + kCRLF
                   + QStringLiteral("The configuration was not fully restored."),
               vbOKOnly + vbExclamation, kRestoreTitle);
    } else if (!confirmed) {
        MsgBox(QStringLiteral("All ") + linesText(linesSent) + QStringLiteral(" of") + kCRLF + nativePath(path) + kCRLF
                   + QStringLiteral("were sent, but nothing confirms that they arrived. ") + unconfirmed + kCRLF
                   + QStringLiteral("The configuration may not have reached the controller; it was not confirmed "
                                    "as restored."),
               vbOKOnly + vbExclamation, kRestoreTitle);
    } else {
        MsgBox(QStringLiteral("Configuration Restored"), vbOKOnly, kRestoreTitle);
    }
}

void SaveParametersToFile()
{
    QPointer<frmMain> main = frmMain::instance();
    if (!main || g_busy || InitializeControllerBusy())
        return;
    QScopedValueRollback<bool> busy(g_busy, true);
    if (!linkReady(main, QStringLiteral("no parameters can be saved."), kSaveTitle))
        return;

    bool sent = true;
    bool answered = false;
    const QString modelReply = QueryController(QStringLiteral("VE"), &sent, &answered);
    // A reply that did not come whole names no model, whatever part of it arrived.
    const QString model = answered ? modelReply.section(QLatin1Char(' '), 0, 0).toUpper() : QString();
    if (model.isEmpty()) {
        MsgBox(QStringLiteral("The controller did not report its model, so no entry of the control option file "
                              "applies. Nothing was saved."),
               vbOKOnly + vbExclamation, kSaveTitle);
        return;
    }

    const QString optionPath = programFileOrChosen(kOptionFileName, QStringLiteral("Select Control Option File"));
    if (optionPath.isEmpty())
        return;
    const std::optional<int> axes = savedAxisCount(optionPath, model);
    if (!axes)
        return;
    const QString templatePath = programFileOrChosen(kTemplateFileName, QStringLiteral("Select Save Template File"));
    if (templatePath.isEmpty())
        return;
    const std::optional<std::vector<TemplateEntry>> entries = templateEntries(templatePath);
    if (!entries)
        return;

    const QString target = GetSaveFileName(main, QStringLiteral("Save Parameters To File"),
                                           QFileInfo(kSaveFolder).isDir() ? kSaveFolder : QString(), kSaveFilter);
    if (target.isEmpty() || !main)
        return;

    QString failure;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto pointer = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        ParameterFileRun run(main);
        failure = writeParameters(target, *axes, *entries);
    }
    if (!failure.isEmpty()) {
        MsgBox(failure, vbOKOnly + vbExclamation, kSaveTitle);
        return;
    }
    MsgBox(QStringLiteral("Setup parameters were saved to file successfully."), vbOKOnly + vbInformation,
           kSaveTitle);
}

namespace {

// The old-format text read from path into gOldParams, which is emptied first; path only names the
// file in the messages.
bool parseOldParameters(const QByteArray& bytes, const QString& path, QString* error)
{
    clearOldParams();
    const auto fail = [&](const QString& text) {
        clearOldParams();
        if (error)
            *error = text;
        return false;
    };

    TextLineReader reader(bytes);
    QString line;
    int previousAxis = 0;
    int position = 0;
    int lastLine = 0; // the last line that held a value
    int blockStart[OldParamAxes + 1] = {};
    // A block's meaning is its lines' places: one that ends early would leave the values after it
    // empty, and the converted lines would carry no value.
    const auto shortBlock = [&](const QString& where) {
        return where + QStringLiteral("ends the block of axis %1 (from line %2) after %3 of its %4 lines, so nothing "
                                      "was converted.")
                           .arg(previousAxis)
                           .arg(blockStart[previousAxis])
                           .arg(position + 1)
                           .arg(OldParamPositions);
    };
    while (reader.readLine(line)) {
        if (line.size() <= 1)
            continue;
        const QString where = QStringLiteral("Line %1 of ").arg(reader.lineNumber()) + nativePath(path) + kCRLF;
        const int colon = int(line.indexOf(QLatin1Char(':')));
        const int equals = int(line.indexOf(QLatin1Char('=')));
        if (colon < 0 || equals < 0)
            return fail(where + quotedLine(line) + kCRLF + QStringLiteral("is not of the form axis:name=value."));
        bool ok = false;
        const QString axisText = trimBlanks(line.left(colon));
        const int axis = signedDigits(axisText) ? axisText.toInt(&ok, 10) : 0;
        if (!ok || axis < 1 || axis > OldParamAxes)
            return fail(where + quotedLine(line) + kCRLF
                        + QStringLiteral("names no axis from 1 to %1.").arg(OldParamAxes));
        if (axis != previousAxis) {
            if (previousAxis != 0 && position + 1 < OldParamPositions)
                return fail(shortBlock(where));
            // A second block of an axis would silently replace the first.
            if (blockStart[axis] != 0)
                return fail(where + QStringLiteral("starts a second block of axis %1 (the first began at line %2), so "
                                                   "nothing was converted.")
                                        .arg(axis)
                                        .arg(blockStart[axis]));
            blockStart[axis] = reader.lineNumber();
            position = 0;
        } else {
            ++position;
        }
        previousAxis = axis;
        lastLine = reader.lineNumber();
        if (position >= OldParamPositions)
            return fail(where + QStringLiteral("makes the block of axis %1 longer than %2 lines.")
                                    .arg(axis)
                                    .arg(OldParamPositions));
        gOldParams[axis][position] = trimBlanks(line.mid(equals + 1));
        g_oldParamLines[axis][position] = reader.lineNumber();
    }
    if (reader.failed())
        return fail(fileError(QStringLiteral("The file could not be read:"), path, reader.errorString()));
    if (previousAxis != 0 && position + 1 < OldParamPositions)
        return fail(shortBlock(QStringLiteral("Line %1 of ").arg(lastLine) + nativePath(path) + kCRLF));
    g_oldParamSource = path;
    return true;
}

} // namespace

bool ParseOldParameterLine(const QString& path, QString* error)
{
    QString readError;
    const std::optional<QByteArray> bytes = readWhole(path, &readError);
    if (!bytes) {
        clearOldParams();
        if (error)
            *error = readError;
        return false;
    }
    return parseOldParameters(*bytes, path, error);
}

bool WriteAxisCommandFile(const QString& path, QString* error)
{
    QString reason;
    const std::optional<QStringList> lines = convertedLines(&reason);
    if (lines && writeWhole(path, *lines, &reason))
        return true;
    if (error)
        *error = reason;
    return false;
}

void ConvertParameterFile()
{
    frmMain* main = frmMain::instance();
    QString error;
    const auto refuse = [&error] { MsgBox(error, vbOKOnly + vbExclamation, kConvertTitle); };
    if (!axesConvertible(&error))
        return refuse();

    const QString source =
        GetOpenFileName(main, QStringLiteral("Select Old Parameters File (Source)"), AppPath(), kOldFilter);
    if (source.isEmpty())
        return;
    // Read once: the format check and the parse see the same text.
    const std::optional<QByteArray> bytes = readWhole(source, &error);
    if (!bytes)
        return refuse();
    {
        TextLineReader reader(*bytes);
        QString first;
        if (!reader.readLine(first) || !first.contains(QLatin1String("Axis"))) {
            MsgBox(QStringLiteral("The file selected is not in old format."), vbOKOnly + vbExclamation, kConvertTitle);
            return;
        }
    }
    if (!parseOldParameters(*bytes, source, &error))
        return refuse();
    // Every value is checked before the user is asked where to write.
    if (!convertedLines(&error))
        return refuse();

    const QString destination = GetSaveFileName(frmMain::instance(), QStringLiteral("Select New Parameters File "
                                                                                    "(Destination)"),
                                                AppPath(), kOldFilter);
    if (destination.isEmpty())
        return;
    if (!WriteAxisCommandFile(destination, &error))
        return refuse();
    MsgBox(QStringLiteral("The old setup file was converted to new file format successfully."),
           vbOKOnly + vbInformation, kConvertTitle);
}

void InstallParameterFileHandlers()
{
    CommandDispatcher::setProcedure(QStringLiteral("RestoreFromFile"), [] { RestoreFromFile(); });
    CommandDispatcher::setProcedure(QStringLiteral("SaveParametersToFile"), [] { SaveParametersToFile(); });
    CommandDispatcher::setProcedure(QStringLiteral("ConvertParameterFile"), [] { ConvertParameterFile(); });
}

} // namespace KvlXGlobal
