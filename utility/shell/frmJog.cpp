#include "utility/shell/frmJog.h"

#include "utility/shell/FormPlaces.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/frmErrors.h"

frmJog::frmJog()
    : PanelHost(QStringLiteral("frmJog"), QStringLiteral("Jog"), QStringLiteral("KVL410ActiveX.KVLJog"),
                QStringLiteral("KVLJog1"), Fit::PanelSize)
{
}

void frmJog::Form_Load()
{
    using namespace KvlXGlobal;
    // Binding runs the panel's set-up, which sizes it to its captions: the window follows.
    bindPanel();
    fitClientToPanel();
    // While the program closes, the error window is not brought back for the jog panel's sake.
    if (!gAppClosing)
        putPanelProperty(QStringLiteral("ErrorControl"), Form::instance<frmErrors>()->KVLError1());
    gAppClosing = false;
    RestoreFormPosition(this);
}
