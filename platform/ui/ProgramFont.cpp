#include "platform/ui/ProgramFont.h"

#include <QFontInfo>

namespace platform {

QFont ProgramFont::font(const QString& family)
{
    QString chosen = family;
    if (chosen.isEmpty()) {
        // The generic name, resolved once and then asked for by the family's own name.
        QFont generic(QStringLiteral("sans-serif"));
        generic.setStyleHint(QFont::SansSerif);
        chosen = QFontInfo(generic).family();
    }
    QFont f(chosen);
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(PointSize);
    return f;
}

} // namespace platform
