#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

#include <string>

// Makes the program's font, in the given family, the application's font while it lives; windows
// made meanwhile take it, and those open follow it. For the layout checks, which run under every
// family of testedFamilies().
class FontFamilyScope {
public:
    // The families of a short list of common sans-serif families that this machine has, in the
    // list's order; when it has none, one empty entry: the program's own choice.
    static QStringList testedFamilies();
    // The family as a test's name: letters and digits only ("DejaVuSans", "SystemSansSerif").
    static std::string testName(const QString& family);

    explicit FontFamilyScope(const QString& family);
    ~FontFamilyScope();
    FontFamilyScope(const FontFamilyScope&) = delete;
    FontFamilyScope& operator=(const FontFamilyScope&) = delete;

private:
    QFont m_saved;
};
