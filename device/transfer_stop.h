// Stopping a running copy from outside it: a console program's Ctrl-C
// handler runs on a thread of its own while Insert3 or Read blocks the main
// one. The request is process-wide and stays until it is cleared; the
// progress sink answers the service's next report with WMDM_E_USER_CANCELLED,
// and no new copy or read-back starts while it stands.
#pragma once

// Safe from any thread, and from a console control handler.
void RequestTransferStop();
bool TransferStopRequested();
void ClearTransferStop();
