#include "library/link/Global.h"

#include "library/link/NumberText.h"
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

    // Right-to-left locales put direction marks before the minus: they are no part of the
    // number, and the minus after them is still in the first place.
    s = NumberText::withoutDirectionMarks(s);

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
    const bool negative = !s.isEmpty() && NumberText::isLocaleMinus(s.at(0));

    // Positions do not shift: characters are blanked here and removed afterwards.
    for (int i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (i == 0 && negative)
            s[i] = minus;
        else if (NumberText::localeDigitValue(c) < 0 && c != sep)
            s[i] = blank;
        else if (c == sep && i > firstSeparator)
            s[i] = blank;
    }
    s.remove(blank);
    // The sign as the locale writes it, marks and all, so a shown number cleans to itself.
    if (negative)
        s.replace(0, 1, QLocale().negativeSign());
    return s;
}

} // namespace Global
