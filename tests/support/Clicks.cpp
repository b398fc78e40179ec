#include "tests/support/Clicks.h"

#include <QCheckBox>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

namespace Clicks {

QPoint target(const QWidget* control)
{
    QStyle::SubElement indicator;
    if (qobject_cast<const QCheckBox*>(control))
        indicator = QStyle::SE_CheckBoxIndicator;
    else if (qobject_cast<const QRadioButton*>(control))
        indicator = QStyle::SE_RadioButtonIndicator;
    else
        return control->rect().center();
    const auto* button = static_cast<const QAbstractButton*>(control);
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    return control->style()->subElementRect(indicator, &option, control).center();
}

void click(QWidget* control)
{
    QTest::mouseClick(control, Qt::LeftButton, {}, target(control));
}

} // namespace Clicks
