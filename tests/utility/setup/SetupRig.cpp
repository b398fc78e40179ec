#include "tests/utility/setup/SetupRig.h"

#include "library/link/KVLComm.h"
#include "platform/kernel/Clock.h"
#include "sim/SimController.h"
#include "tests/support/ResetAnswer.h"
#include "utility/setup/SetupWindows.h"
#include "utility/shell/Form.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/frmMain.h"

#include <QFile>

#include <gtest/gtest.h>

SetupRig::SetupRig(const Model& model, const std::function<void(SimController&)>& prepare)
{
    platform::Clock::useManualClock(1000, 5);
    KvlXGlobal::InitUnitNames();
    m_handlers = std::make_unique<ControllerHandlers>();
    KvlXGlobal::InstallSetupWindows();
    QFile table(shell.folder() + QStringLiteral("/KVLAxes.ini"));
    EXPECT_TRUE(table.open(QIODevice::WriteOnly | QIODevice::Truncate));
    table.write("\"" + model.name + "\"," + QByteArray::number(model.axes) + "," +
                QByteArray::number(model.feedbackAxes) + ",16,4\n");
    table.close();
    shell.useSerialLink();
    shell.withSim([&](SimController& sim) {
        sim.setModel(model.name + " Version 1.0");
        sim.setAxisCount(model.axes);
        sim.setWord(0, "ZU", model.amplifiers);
        if (prepare)
            prepare(sim);
    });
    shell.answer = ResetAnswer::no();
    main = shell.start();
    shell.comm()->setTimerEnabled(false);
    shell.answer = {};
    shell.boxes.clear();
    takeLines();
}

SetupRig::~SetupRig()
{
    shell.destroyMain();
    KvlXGlobal::UninstallSetupWindows();
    m_handlers.reset();
    platform::Clock::useRealClock();
}

QStringList SetupRig::takeLines()
{
    // The controller answers in order: once it has answered this query, it has every line before.
    QString reply;
    if (KVLComm* comm = shell.comm(); comm && comm->IsOpen() && comm->BusType() == BUS_TYPE_RS232)
        comm->SendReadAscii(QStringLiteral("VE?\r"), reply);
    QStringList lines;
    shell.withSim([&](SimController& sim) {
        for (const QByteArray& line : sim.lines())
            lines << QString::fromLatin1(line);
        sim.clearLog();
    });
    if (!reply.isEmpty() && !lines.isEmpty() && lines.last() == QLatin1String("VE?"))
        lines.removeLast();
    return lines;
}

Form* SetupRig::open(const QString& key, const QString& name)
{
    main->MenuDispatch(key);
    Form* form = Form::loadedForm(name);
    EXPECT_NE(form, nullptr) << qPrintable(name);
    return form;
}
