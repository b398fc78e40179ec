#include "utility/setup/NumberBox.h"

#include "library/link/NumberText.h"
#include "platform/ui/MsgBox.h"

#include <QEvent>
#include <QLineEdit>

#include <cmath>
#include <limits>

namespace {

void kindRange(NumberBox::Kind kind, double& minimum, double& maximum)
{
    switch (kind) {
    case NumberBox::Kind::Single:
        maximum = double(std::numeric_limits<float>::max());
        minimum = -maximum;
        return;
    case NumberBox::Kind::Double:
        maximum = std::numeric_limits<double>::max();
        minimum = -maximum;
        return;
    case NumberBox::Kind::Int16:
        minimum = -32768;
        maximum = 32767;
        return;
    case NumberBox::Kind::Int32:
        minimum = -2147483648.0;
        maximum = 2147483647.0;
        return;
    }
}

bool isInteger(NumberBox::Kind kind)
{
    return kind == NumberBox::Kind::Int16 || kind == NumberBox::Kind::Int32;
}

} // namespace

NumberBox::NumberBox(QLineEdit* edit, Kind kind)
    : QObject(edit)
    , m_edit(edit)
    , m_kind(kind)
{
    kindRange(kind, m_minimum, m_maximum);
    edit->installEventFilter(this);
}

void NumberBox::setRange(double minimum, double maximum)
{
    double lowest = 0;
    double highest = 0;
    kindRange(m_kind, lowest, highest);
    m_minimum = std::max(minimum, lowest);
    m_maximum = std::min(maximum, highest);
}

QString NumberBox::text(Kind kind, double value)
{
    switch (kind) {
    case Kind::Single: return NumberText::localeSingle(float(value));
    case Kind::Double: return NumberText::localeDouble(value);
    case Kind::Int16:
    case Kind::Int32: return NumberText::integerText(qint64(std::nearbyint(value)));
    }
    return QString();
}

void NumberBox::show(double value)
{
    showText(text(m_kind, value));
}

void NumberBox::showText(const QString& text)
{
    m_shown = text;
    if (m_edit)
        m_edit->setText(text);
}

void NumberBox::clear()
{
    showText(QString());
}

NumberBox::Commit NumberBox::commit()
{
    if (!m_edit || m_committing)
        return Commit::Unchanged;
    const QString typed = m_edit->text();
    if (typed == m_shown)
        return Commit::Unchanged;
    m_committing = true;
    bool ok = false;
    double value = NumberText::parseLocale(typed.trimmed(), &ok);
    if (ok && isInteger(m_kind)) {
        // A whole number is asked for: a fraction is refused rather than rounded.
        ok = std::isfinite(value) && value == std::floor(value);
    }
    QString refusal;
    if (!ok || !std::isfinite(value)) {
        refusal = QStringLiteral("\"%1\" is not a number.").arg(typed);
    } else if (value < m_minimum || value > m_maximum) {
        refusal = QStringLiteral("%1 is out of range: enter a number from %2 to %3.")
                      .arg(typed, text(m_kind, m_minimum), text(m_kind, m_maximum));
    }
    if (!refusal.isEmpty()) {
        m_edit->setText(m_shown);
        platform::MsgBox(refusal, platform::vbOKOnly | platform::vbExclamation, QStringLiteral("Moxtrel"));
        m_committing = false;
        return Commit::Refused;
    }
    if (m_kind == Kind::Single)
        value = double(float(value));
    // The text as typed stays: it reads back as the value now held.
    m_shown = typed;
    m_committing = false;
    if (m_onCommit)
        m_onCommit(value);
    return Commit::Changed;
}

bool NumberBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_edit && event->type() == QEvent::FocusOut)
        commit();
    return QObject::eventFilter(watched, event);
}
