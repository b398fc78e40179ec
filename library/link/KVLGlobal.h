#pragma once

class KVLComm;

// Routines of the control library that need a communication control.
namespace KVLGlobal {

// Offers to reset the system when a panel finds the link closed: on Yes the link is initialised
// and, when that succeeds, opened. Callers read IsOpen and BusType afterwards.
void ResetSystem(KVLComm& comm);

} // namespace KVLGlobal
