#include "utility/shell/TextHelpers.h"

#include "library/link/NumberText.h"

#include <algorithm>

namespace KvlXGlobal {

namespace {

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

} // namespace KvlXGlobal
