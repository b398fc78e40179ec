#pragma once

#include <QFont>
#include <QString>

namespace platform {

// The font the windows are drawn in, chosen on purpose: the machine's own sans-serif family at
// the size the twips layouts were drawn for. Asking for a family the machine lacks would give
// whatever the font matcher finds, which differs from machine to machine.
class ProgramFont {
public:
    static constexpr double PointSize = 8.25;

    // family empty: the family the system names for "sans-serif".
    static QFont font(const QString& family = QString());
};

} // namespace platform
