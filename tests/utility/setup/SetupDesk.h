#pragma once

#include "sim/SimController.h"
#include "sim/SimDevice.h"
#include "tests/support/ShellRig.h"

#include <QString>
#include <QStringList>

#include "utility/shell/Form.h"
class KVLComm;

// The main window on the simulated controller behind the in-process USB bus, its tick stopped,
// the set-up windows plugged in and the controller's model and axes set as the initialisation
// sets them. A test opens a window by its menu key and sees exactly what each click sends.
struct SetupDesk {
    explicit SetupDesk(int axes = 4, const QString& model = QStringLiteral("KVL410"));
    ~SetupDesk();

    KVLComm* comm() { return rig.comm(); }
    SimController& sim() { return device.controller(); }
    // The lines the controller received since the last clearLines(), with their terminators.
    QStringList lines();
    void clearLines() { sim().clearLog(); }
    void dispatch(const QString& key);
    // The loaded window of that name, or null.
    Form* form(const QString& name);
    template <class T>
    T* child(const QString& window, const QString& name)
    {
        Form* f = form(window);
        return f ? f->findChild<T*>(name) : nullptr;
    }
    // Clicks a control of the window, on the page in front or not.
    void click(const QString& window, const QString& name);
    // Types text into a box and moves the focus away, as a user does.
    void type(const QString& window, const QString& name, const QString& text);
    QStringList prompts() const { return rig.prompts(); }
    // The link falls to demo mode as after a break, without a box.
    void goDemo();

    SimDevice device;
    ShellRig rig;
};
