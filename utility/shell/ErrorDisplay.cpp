#include "utility/shell/ErrorDisplay.h"

#include "platform/RuntimeError.h"
#include "platform/ui/MsgBox.h"
#include "utility/shell/EventWait.h"
#include "utility/shell/Form.h"
#include "utility/shell/frmErrors.h"
#include "utility/shell/frmMain.h"

#include <QCoreApplication>

using namespace platform;

namespace KvlXGlobal {

short ShowError(const QString& msg, short code)
{
    frmErrors* errors = Form::instance<frmErrors>();
    errors->Show();
    if (code != 1) {
        if (QObject* panel = errors->KVLError1()) {
            QVariantList args{msg};
            invokeByName(panel, QStringLiteral("ErrorMsg"), MemberKind::PropertyPut, args);
        }
        return 0;
    }

    const int answer = MsgBox(QStringLiteral("Communications timeout has occurred. System must be reset."),
                              vbOKCancel + vbCritical, QStringLiteral("KVL: Fatal Error"));
    frmMain* main = frmMain::instance();
    if (answer == vbOK) {
        if (main)
            main->KVLComm1().KVLInit();
    } else if (main) {
        // The caller may be deep in a transfer: the program ends from the event loop, not under it.
        EventWait::runWhenIdle(main, [main] { main->close(); });
    } else {
        QCoreApplication::quit();
    }
    return 0;
}

} // namespace KvlXGlobal
