#include "library/link/Global.h"

#include "platform/RuntimeError.h"

#include <QLocale>

namespace Global {

QString gUnitNames[UnitNameSlots];

namespace {

const QChar microSign(0xB5);

void storeUnitName(int index, const QString& name)
{
    if (index < 0 || index >= UnitNameSlots)
        throw platform::RuntimeError::standard(platform::RuntimeError::SubscriptOutOfRange);
    gUnitNames[index] = name;
}

} // namespace

void InitUnitNames()
{
    storeUnitName(0, QStringLiteral("counts"));
    storeUnitName(1, QStringLiteral("steps"));
    storeUnitName(2, QStringLiteral("mm"));
    storeUnitName(3, microSign + QStringLiteral("m"));
    storeUnitName(4, QStringLiteral("in"));
    storeUnitName(5, QStringLiteral("mi"));
    storeUnitName(6, microSign + QStringLiteral("in"));
    storeUnitName(7, QStringLiteral("deg"));
    storeUnitName(8, QStringLiteral("grad"));
    storeUnitName(9, QStringLiteral("rad"));
    storeUnitName(10, QStringLiteral("mrad"));
    storeUnitName(11, microSign + QStringLiteral("rad"));
}

QString GetDecimalSeparator()
{
    // The character between 0 and 5 of one half in the user's form.
    return QLocale().toString(0.5).mid(1, 1);
}

QString CleanNumericText(QString& s)
{
    const QChar blank(QLatin1Char(' '));
    const QChar minus(QLatin1Char('-'));

    // Only blanks are trimmed.
    int first = 0;
    int last = s.size() - 1;
    while (first <= last && s.at(first) == blank)
        ++first;
    while (last >= first && s.at(last) == blank)
        --last;
    s = s.mid(first, last - first + 1);

    if (s.isEmpty())
        s = QLocale().toString(0.0, 'f', 1);

    const QString separator = GetDecimalSeparator();
    const QChar sep = separator.isEmpty() ? QChar() : separator.at(0);
    const int firstSeparator = separator.isEmpty() ? -1 : s.indexOf(sep);

    // Positions do not shift: characters are blanked here and removed afterwards.
    for (int i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        const bool digit = c.unicode() >= '0' && c.unicode() <= '9';
        if (!digit && c != sep && c != minus)
            s[i] = blank;
        else if (c == minus && i >= 1)
            s[i] = blank;
        else if (c == sep && i > firstSeparator)
            s[i] = blank;
    }
    s.remove(blank);
    return s;
}

} // namespace Global
