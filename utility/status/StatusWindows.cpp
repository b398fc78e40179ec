#include "utility/status/StatusWindows.h"

#include "utility/shell/CommandDispatcher.h"
#include "utility/shell/Form.h"
#include "utility/status/frmADC.h"
#include "utility/status/frmAbout.h"
#include "utility/status/frmHardwareStatus.h"
#include "utility/status/frmTest.h"

namespace KvlXGlobal {

namespace {

template <class T>
Form* instanceOf()
{
    return Form::instance<T>();
}

struct Window {
    const char* name;
    CommandDispatcher::WindowInstance instance;
};

const Window kWindows[] = {
    {"frmHardwareStatus", &instanceOf<frmHardwareStatus>},
    {"frmAbout", &instanceOf<frmAbout>},
    {"frmADC", &instanceOf<frmADC>},
    {"frmTest", &instanceOf<frmTest>},
};

} // namespace

void InstallStatusWindows()
{
    for (const Window& w : kWindows)
        CommandDispatcher::setWindow(QString::fromLatin1(w.name), w.instance);
}

void UninstallStatusWindows()
{
    for (const Window& w : kWindows)
        CommandDispatcher::setWindow(QString::fromLatin1(w.name), {});
}

} // namespace KvlXGlobal
