#pragma once

#include "tests/support/ControllerHandlers.h"
#include "tests/support/ShellRig.h"
#include "tests/utility/setup/SetupInput.h"

#include <QByteArray>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QString>
#include <QStringList>

#include <functional>
#include <gtest/gtest.h>
#include <memory>

class Form;
class SimController;
class frmMain;

// The main window on the serial link to the simulated controller, initialised for a model of the
// given axis counts, with the set-up windows plugged in as the program's start plugs them, and
// the link's tick stopped so only what a test does reaches the controller.
class SetupRig {
public:
    struct Model {
        QByteArray name = "KVL410";
        int axes = 2;
        int feedbackAxes = 2;
        quint32 amplifiers = 0;
    };
    SetupRig() : SetupRig(Model()) {}
    explicit SetupRig(const Model& model, const std::function<void(SimController&)>& prepare = {});
    ~SetupRig();

    ShellRig shell;
    frmMain* main = nullptr;

    void sim(const std::function<void(SimController&)>& f) { shell.withSim(f); }
    // The lines the controller received since the last call, and forgets them.
    QStringList takeLines();
    // Opens a window through its menu key, as the menu does.
    Form* open(const QString& key, const QString& name);
    QStringList prompts() const { return shell.prompts(); }

private:
    std::unique_ptr<ControllerHandlers> m_handlers;
};

