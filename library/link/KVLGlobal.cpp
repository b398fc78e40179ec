#include "library/link/KVLGlobal.h"

#include "library/link/KVLComm.h"
#include "platform/ui/MsgBox.h"

namespace KVLGlobal {

void ResetSystem(KVLComm& comm)
{
    const int answer = platform::MsgBox(QStringLiteral("Do you want to reset the system?"), 68,
                                        QStringLiteral(" Tarvelle KVL7100"));
    if (answer != platform::vbYes)
        return;
    if (comm.KVLInit() == 0)
        comm.KVLOpen();
}

} // namespace KVLGlobal
