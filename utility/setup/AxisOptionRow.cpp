#include "utility/setup/AxisOptionRow.h"

#include "library/link/CGuiState.h"

#include <QButtonGroup>
#include <QRadioButton>

AxisOptionRow::AxisOptionRow(QWidget* parent, const QString& name, int count,
                             const std::function<QString(int)>& caption, const std::function<QRect(int)>& place)
    : QObject(parent)
    , m_group(new QButtonGroup(this))
{
    for (int i = 0; i < count; ++i) {
        auto* option = new QRadioButton(caption(i), parent);
        option->setObjectName(QStringLiteral("%1_%2").arg(name).arg(i));
        if (place)
            option->setGeometry(place(i));
        m_group->addButton(option, i);
        // toggled(true) comes once per change of selection, from a click and from code alike.
        connect(option, &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                selected(i);
        });
        m_options.append(option);
    }
}

void AxisOptionRow::follow(CGuiState* state, bool answerAxisChange)
{
    m_state = state;
    if (state && answerAxisChange)
        connect(state, &CGuiState::AxisChange, this, [this](short NewAxis, short) { selectAxis(NewAxis); });
}

QRadioButton* AxisOptionRow::option(int index) const
{
    return index >= 0 && index < count() ? m_options.at(index) : nullptr;
}

bool AxisOptionRow::selectAxis(int axis)
{
    if (!hasAxis(axis))
        return false;
    m_options.at(axis - 1)->setChecked(true);
    return shownAxis() == axis;
}

void AxisOptionRow::selectAxisOrFirstEnabled(int axis)
{
    int choice = isAxisEnabled(axis) ? axis : 0;
    for (int a = 1; choice == 0 && a <= count(); ++a) {
        if (isAxisEnabled(a))
            choice = a;
    }
    if (choice != 0)
        selectAxis(choice);
}

int AxisOptionRow::shownAxis() const
{
    for (int i = 0; i < count(); ++i) {
        if (m_options.at(i)->isChecked())
            return i + 1;
    }
    return 0;
}

void AxisOptionRow::setAxisEnabled(int axis, bool enabled)
{
    if (hasAxis(axis))
        m_options.at(axis - 1)->setEnabled(enabled);
}

bool AxisOptionRow::isAxisEnabled(int axis) const
{
    return hasAxis(axis) && m_options.at(axis - 1)->isEnabled();
}

void AxisOptionRow::disableAll()
{
    for (QRadioButton* option : m_options)
        option->setEnabled(false);
}

void AxisOptionRow::enableUpTo(int axes)
{
    for (int i = 0; i < count(); ++i)
        m_options.at(i)->setEnabled(i < axes);
}

void AxisOptionRow::selected(int index)
{
    if (m_setsCurrentAxis && m_state)
        m_state->setCurrentAxis(short(index + 1));
    if (m_handler)
        m_handler(index);
}
