#include "library/link/NumberText.h"

#include "platform/RuntimeError.h"

#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A value that compares equal to zero prints without a sign ("-0" would reach the controller).
double withoutNegativeZero(double value)
{
    return value == 0.0 ? 0.0 : value;
}

QString significantText(double value, int digits)
{
    return QString::number(withoutNegativeZero(value), 'G', digits);
}

// " .5" from "0.5", "-.5" from "-0.5"; other texts unchanged.
QString blankSigned(QString text)
{
    if (text.startsWith(QLatin1String("0.")))
        text.remove(0, 1);
    else if (text.startsWith(QLatin1String("-0.")))
        text.remove(1, 1);
    if (!text.startsWith(QLatin1Char('-')))
        text.prepend(QLatin1Char(' '));
    return text;
}

QLocale userLocale()
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

[[noreturn]] void overflow()
{
    throw platform::RuntimeError::standard(platform::RuntimeError::Overflow);
}

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f');
}

bool isDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return u - 'a' + 10;
}

// What a scan of a reply found: whether it had digits, and for hexadecimal ones whether they
// were more than a 32-bit word holds.
struct Scan {
    double value = 0;
    bool number = false;
    bool tooLong = false;
};

// Hexadecimal digits from pos as one unsigned number.
Scan scanHexDigits(const QString& s, int pos)
{
    Scan scan;
    int significant = 0;
    for (; pos < s.size() && isHexDigit(s.at(pos)); ++pos) {
        const int digit = hexDigitValue(s.at(pos));
        if (significant > 0 || digit != 0)
            ++significant;
        scan.value = scan.value * 16 + digit;
        scan.number = true;
    }
    scan.tooLong = significant > 8;
    return scan;
}

Scan scanHex(const QString& s, int pos)
{
    Scan scan = scanHexDigits(s, pos);
    // Up to FFFF a word stays unsigned, so a word read and written back is unchanged; a longer
    // one is a 32-bit long as the controller keeps it.
    if (scan.value > 0xFFFF && !scan.tooLong)
        scan.value = static_cast<qint32>(static_cast<quint32>(scan.value));
    return scan;
}

Scan scanDecimal(const QString& s, int pos)
{
    Scan scan;
    QString number;
    if (pos < s.size() && (s.at(pos) == QLatin1Char('-') || s.at(pos) == QLatin1Char('+')))
        number += s.at(pos++);
    int digits = 0;
    for (; pos < s.size() && isDigit(s.at(pos)); ++pos, ++digits)
        number += s.at(pos);
    if (pos < s.size() && s.at(pos) == QLatin1Char('.')) {
        number += s.at(pos++);
        for (; pos < s.size() && isDigit(s.at(pos)); ++pos, ++digits)
            number += s.at(pos);
    }
    if (digits == 0)
        return scan;
    if (pos < s.size() && (s.at(pos) == QLatin1Char('E') || s.at(pos) == QLatin1Char('e'))) {
        int p = pos + 1;
        QString exponent = QStringLiteral("E");
        if (p < s.size() && (s.at(p) == QLatin1Char('-') || s.at(p) == QLatin1Char('+')))
            exponent += s.at(p++);
        const int start = p;
        for (; p < s.size() && isDigit(s.at(p)); ++p)
            exponent += s.at(p);
        if (p > start)
            number += exponent;
    }
    if (number.endsWith(QLatin1Char('.')))
        number.chop(1);
    number.replace(QLatin1String("-."), QLatin1String("-0.")).replace(QLatin1String("+."), QLatin1String("0."));
    if (number.startsWith(QLatin1Char('.')))
        number.prepend(QLatin1Char('0'));
    // QString::toDouble reads the C locale's form whatever the user's locale is; beyond a
    // double's range it gives an infinity, which no field holds.
    scan.value = number.toDouble();
    scan.number = true;
    return scan;
}

// The leading number of a reply, as the reply parse reads it.
Scan scanReply(const QString& reply)
{
    QString s;
    s.reserve(reply.size());
    for (QChar c : reply) {
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n'))
            s += c;
    }
    if (s.size() >= 2 && s.at(0) == QLatin1Char('&') && (s.at(1) == QLatin1Char('H') || s.at(1) == QLatin1Char('h')))
        return scanHex(s, 2);
    return scanDecimal(s, 0);
}

} // namespace

QString NumberText::integerText(qint64 value)
{
    return QString::number(value);
}

QString NumberText::singleText(float value)
{
    return significantText(value, 7);
}

QString NumberText::doubleText(double value)
{
    const QString text = significantText(value, 15);
    if (!std::isfinite(value) || std::isfinite(text.toDouble()))
        return text;
    // Rounded up past the largest double: the largest 15-digit value below it instead.
    return significantText(std::copysign(1.79769313486231e308, value), 15);
}

QString NumberText::blankSignedInteger(qint64 value)
{
    return blankSigned(QString::number(value));
}

QString NumberText::blankSignedSingle(float value)
{
    return blankSigned(singleText(value));
}

QString NumberText::blankSignedDouble(double value)
{
    return blankSigned(doubleText(value));
}

QString NumberText::hexWord(qint32 value)
{
    return QLatin1Char('0') + QString::number(static_cast<quint32>(value), 16).toUpper();
}

void NumberText::markHex(QString& reply)
{
    if (reply.contains(QLatin1Char('H'), Qt::CaseSensitive))
        reply.prepend(QLatin1String("&H"));
}

double NumberText::parseReply(const QString& reply)
{
    return scanReply(reply).value;
}

std::optional<double> NumberText::fit(double value, Target target)
{
    if (!std::isfinite(value))
        return std::nullopt;
    switch (target) {
    case Target::I16:
    case Target::I32: {
        // The default rounding mode takes halves to the even neighbour.
        const double rounded = std::nearbyint(value);
        const bool narrow = target == Target::I16;
        const double low = narrow ? -32768.0 : -2147483648.0;
        const double high = narrow ? 32767.0 : 2147483647.0;
        if (!(rounded >= low && rounded <= high))
            return std::nullopt;
        return rounded;
    }
    case Target::Single:
        if (std::abs(value) > double(std::numeric_limits<float>::max()))
            return std::nullopt;
        return double(static_cast<float>(value));
    case Target::Double:
        return value;
    }
    return std::nullopt;
}

std::optional<double> NumberText::replyNumber(const QString& reply, Target target)
{
    const Scan scan = scanReply(reply);
    if (!scan.number || scan.tooLong)
        return std::nullopt;
    return fit(scan.value, target);
}

bool NumberText::holdsNumber(const QString& reply)
{
    return scanReply(reply).number;
}

bool NumberText::isPlainDecimal(const QString& text)
{
    static const QRegularExpression plain(QStringLiteral("^[+-]?([0-9]+[.]?[0-9]*|[.][0-9]+)([eE][+-]?[0-9]+)?$"));
    return plain.match(text).hasMatch();
}

std::optional<quint32> NumberText::statusWord(const QString& text)
{
    const int h = text.indexOf(QLatin1Char('H'), 0, Qt::CaseSensitive);
    if (h < 0)
        return std::nullopt;
    // Leading blanks, tabs and line feeds are passed over, as the reply parse passes them.
    int first = 0;
    while (first < h && QStringView(u" \t\n").contains(text.at(first)))
        ++first;
    const Scan scan = scanHexDigits(text.left(h), first);
    if (!scan.number || scan.tooLong)
        return std::nullopt;
    return static_cast<quint32>(scan.value);
}

QString NumberText::displayText(double value, int decimals)
{
    const QLocale locale = userLocale();
    QString text = locale.toString(value, 'f', decimals);
    // A negative value that rounds to zero shows as zero.
    const QString zero = locale.toString(0.0, 'f', decimals);
    if (text.startsWith(locale.negativeSign()) && text.mid(locale.negativeSign().size()) == zero)
        return zero;
    return text;
}

namespace {

// The value written out with the significant digits of `scientific` (its "d.ddde+XX" text), in
// plain decimals in the user's locale: never an exponent, which a number box would turn into
// digits when it is cleaned ("1E+02" becomes 102).
QString plainLocaleText(double value, const QString& scientific)
{
    const int e = scientific.indexOf(QLatin1Char('e'));
    int digits = 0;
    for (int i = 0; i < e; ++i)
        digits += isDigit(scientific.at(i)) ? 1 : 0;
    const int exponent = scientific.mid(e + 1).toInt();
    const int decimals = std::max(0, digits - 1 - exponent);
    return userLocale().toString(value, 'f', decimals);
}

} // namespace

QString NumberText::localeSingle(float value)
{
    if (!std::isfinite(value))
        return userLocale().toString(double(value));
    const double v = withoutNegativeZero(value);
    // The fewest significant digits that give the same float back.
    int digits = 1;
    for (; digits < 9; ++digits) {
        if (QString::number(v, 'g', digits).toFloat() == value)
            break;
    }
    return plainLocaleText(v, QString::number(v, 'e', digits - 1));
}

QString NumberText::localeDouble(double value)
{
    if (!std::isfinite(value))
        return userLocale().toString(value);
    // The shortest digits themselves: rounding the exact value to as many digits again may give
    // a neighbouring double's text (2^-44 would end in 801 instead of 802).
    return userLocale().toString(withoutNegativeZero(value), 'f', QLocale::FloatingPointShortest);
}

int NumberText::localeDigitValue(QChar c)
{
    if (isDigit(c))
        return c.unicode() - '0';
    const QString zero = QLocale().zeroDigit();
    if (zero.size() != 1 || zero.at(0).unicode() == '0')
        return -1;
    const int value = int(c.unicode()) - int(zero.at(0).unicode());
    return value >= 0 && value <= 9 ? value : -1;
}

bool NumberText::isLocaleMinus(QChar c)
{
    if (c == QLatin1Char('-'))
        return true;
    const QString minus = withoutDirectionMarks(QLocale().negativeSign());
    return minus.size() == 1 && c == minus.at(0);
}

QString NumberText::withoutDirectionMarks(const QString& text)
{
    QString plain = text;
    plain.remove(QChar(0x200E)).remove(QChar(0x200F)).remove(QChar(0x061C));
    return plain;
}

namespace {

// The text in the C locale's form, or nothing when it holds a character that is no part of a
// number in the user's locale (a group separator among them).
std::optional<QString> plainNumberText(const QString& text)
{
    const QString point = userLocale().decimalPoint();
    QString plain;
    for (QChar c : NumberText::withoutDirectionMarks(text)) {
        const int digit = NumberText::localeDigitValue(c);
        if (digit >= 0)
            plain += QChar(u'0' + digit);
        else if (point.size() == 1 && c == point.at(0))
            plain += QLatin1Char('.');
        else if (NumberText::isLocaleMinus(c))
            plain += QLatin1Char('-');
        else if (c == QLatin1Char('+') || c == QLatin1Char('e') || c == QLatin1Char('E') || c == QLatin1Char(' '))
            plain += c;
        else
            return std::nullopt;
    }
    return plain;
}

} // namespace

double NumberText::parseLocale(const QString& text, bool* ok)
{
    bool parsed = false;
    double value = userLocale().toDouble(text, &parsed);
    // Qt cannot read some negative texts of its own (a direction mark before the minus), nor the
    // cleaned form of them: read such a text in the C locale's form.
    if (!parsed) {
        if (const std::optional<QString> plain = plainNumberText(text)) {
            QLocale c = QLocale::c();
            c.setNumberOptions(QLocale::RejectGroupSeparator);
            value = c.toDouble(*plain, &parsed);
        }
    }
    if (ok)
        *ok = parsed;
    return parsed ? value : 0.0;
}

short NumberText::toI16(double value)
{
    const std::optional<double> fitted = fit(value, Target::I16);
    if (!fitted)
        overflow();
    return static_cast<short>(*fitted);
}

qint32 NumberText::toI32(double value)
{
    const std::optional<double> fitted = fit(value, Target::I32);
    if (!fitted)
        overflow();
    return static_cast<qint32>(*fitted);
}

short NumberText::narrowI16(qint64 value)
{
    if (value < -32768 || value > 32767)
        overflow();
    return static_cast<short>(value);
}

namespace {

// The platform's coercion of a variant to a number: empty is 0, True is -1, texts are read in
// the user's locale, anything else that is no number is a type mismatch.
double coerce(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return 0;
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? -1 : 0;
    bool ok = false;
    double number = 0;
    if (value.typeId() == QMetaType::QString)
        number = NumberText::parseLocale(value.toString().trimmed(), &ok);
    else
        number = value.toDouble(&ok);
    if (!ok)
        throw platform::RuntimeError(13, QStringLiteral("Type mismatch"), QStringLiteral("KVL410ActiveX"));
    return number;
}

} // namespace

short NumberText::argI16(const QVariant& value)
{
    return toI16(coerce(value));
}

qint32 NumberText::argI32(const QVariant& value)
{
    return toI32(coerce(value));
}

float NumberText::argSingle(const QVariant& value)
{
    const double number = coerce(value);
    if (std::isfinite(number) && std::abs(number) > std::numeric_limits<float>::max())
        overflow();
    return static_cast<float>(number);
}

double NumberText::argDouble(const QVariant& value)
{
    return coerce(value);
}
