#include "tests/support/ScriptedLink.h"

#include "library/link/BusType.h"
#include "library/link/KVLComm.h"
#include "tests/support/ScriptedController.h"

std::unique_ptr<KVLComm> openScriptedLink(const ScriptedController& controller, short port)
{
    qputenv("KVL_COM" + QByteArray::number(port), controller.slavePath().toLocal8Bit());
    auto comm = std::make_unique<KVLComm>();
    comm->setBusType(BUS_TYPE_RS232);
    comm->setCommPort(port);
    if (comm->KVLInit() != 0 || comm->KVLOpen() != 0 || comm->BusType() != BUS_TYPE_RS232)
        return nullptr;
    return comm;
}
