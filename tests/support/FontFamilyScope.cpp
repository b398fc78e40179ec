#include "tests/support/FontFamilyScope.h"

#include "platform/ui/ProgramFont.h"

#include <QApplication>
#include <QFontDatabase>

QStringList FontFamilyScope::testedFamilies()
{
    // Narrow and wide, short and tall: the families a Debian machine is likely to have.
    static const char* const candidates[] = {"DejaVu Sans", "Nimbus Sans", "Liberation Sans", "Noto Sans",
                                             "Droid Sans Fallback"};
    // A family that more than one foundry supplies is listed as "Nimbus Sans [UKWN]".
    QStringList installed;
    for (const QString& listed : QFontDatabase::families())
        installed << listed.section(QLatin1String(" ["), 0, 0);
    QStringList found;
    for (const char* name : candidates) {
        const QString family = QString::fromLatin1(name);
        if (installed.contains(family, Qt::CaseInsensitive))
            found << family;
    }
    if (found.isEmpty())
        found << QString();
    return found;
}

std::string FontFamilyScope::testName(const QString& family)
{
    std::string name;
    for (const QChar c : family.isEmpty() ? QStringLiteral("SystemSansSerif") : family) {
        if (c.isLetterOrNumber() && c.unicode() < 128)
            name += char(c.unicode());
    }
    return name;
}

FontFamilyScope::FontFamilyScope(const QString& family)
    : m_saved(QApplication::font())
{
    QApplication::setFont(platform::ProgramFont::font(family));
}

FontFamilyScope::~FontFamilyScope()
{
    QApplication::setFont(m_saved);
}
