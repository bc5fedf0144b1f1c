#include "device/transfer_stop.h"

#include <atomic>

namespace {

std::atomic<bool> g_stopRequested{false};

}  // namespace

void RequestTransferStop() { g_stopRequested.store(true); }
bool TransferStopRequested() { return g_stopRequested.load(); }
void ClearTransferStop() { g_stopRequested.store(false); }
