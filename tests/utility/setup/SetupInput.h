#pragma once

#include <QObject>
#include <QString>

#include <gtest/gtest.h>

class QLineEdit;
class QWidget;

// What a user does in a set-up window, the same way for every rig.

// The child of that name; a test fails when there is none.
template <class T>
T* child(QObject* form, const QString& name)
{
    T* widget = form ? form->findChild<T*>(name) : nullptr;
    EXPECT_NE(widget, nullptr) << qPrintable(name);
    return widget;
}

// Whether a click on a control the user cannot see (one on a tab page behind) fails the test.
enum class Unseen { Fails, Allowed };

// A click where a user would click, once a page just shown is laid out.
void click(QWidget* widget, Unseen unseen = Unseen::Fails);

// Types text into a box over what it holds and leaves it, as a user tabbing on does.
void typeAndLeave(QLineEdit* edit, const QString& text);
