#include "tests/utility/setup/SetupDesk.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "tests/support/ResetAnswer.h"
#include "tests/utility/setup/SetupInput.h"
#include "utility/setup/SetupWindows.h"
#include "utility/shell/Form.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/frmMain.h"

#include <QAbstractButton>
#include <QLineEdit>

#include <gtest/gtest.h>

SetupDesk::SetupDesk(int axes, const QString& model)
{
    device.installOnUsb(0);
    sim().setAxisCount(axes);
    rig.store("KVLComm", "BusType", "4");
    rig.store("KVLComm", "DeviceID", "0");
    rig.store("frmMain", "FirstTime", "0");
    rig.answer = ResetAnswer::no();
    KvlXGlobal::InitUnitNames();
    KvlXGlobal::InstallSetupWindows();
    rig.start();
    comm()->setTimerEnabled(false);
    CGuiState* gui = comm()->GetGuiStateObject();
    gui->setMaxAxes(short(axes));
    gui->setMaxFeedbackAxes(short(axes));
    KvlXGlobal::gMaxAxes = short(axes);
    KvlXGlobal::gMaxFeedbackAxes = short(axes);
    KvlXGlobal::gModel = model;
    rig.boxes.clear();
    clearLines();
}

SetupDesk::~SetupDesk()
{
    rig.destroyMain();
    KvlXGlobal::UninstallSetupWindows();
}

QStringList SetupDesk::lines()
{
    QStringList result;
    for (const QByteArray& line : sim().rawLines())
        result << QString::fromLatin1(line);
    return result;
}

void SetupDesk::dispatch(const QString& key)
{
    rig.main()->MenuDispatch(key);
}

Form* SetupDesk::form(const QString& name)
{
    return Form::loadedForm(name);
}

void SetupDesk::click(const QString& window, const QString& name)
{
    auto* button = child<QAbstractButton>(window, name);
    ASSERT_NE(button, nullptr) << window.toStdString() << "." << name.toStdString();
    ::click(button, Unseen::Allowed);
}

void SetupDesk::type(const QString& window, const QString& name, const QString& text)
{
    auto* edit = child<QLineEdit>(window, name);
    ASSERT_NE(edit, nullptr) << window.toStdString() << "." << name.toStdString();
    typeAndLeave(edit, text);
}

void SetupDesk::goDemo()
{
    comm()->setBusType(0);
}
