#include "tests/utility/setup/SetupInput.h"

#include "tests/support/Clicks.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QTest>

void click(QWidget* widget, Unseen unseen)
{
    ASSERT_NE(widget, nullptr);
    QCoreApplication::processEvents();
    if (unseen == Unseen::Fails) {
        ASSERT_TRUE(widget->isVisible()) << qPrintable(widget->objectName());
    }
    Clicks::click(widget);
}

void typeAndLeave(QLineEdit* edit, const QString& text)
{
    ASSERT_NE(edit, nullptr);
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(edit, &out);
}
