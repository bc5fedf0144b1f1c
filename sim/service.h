// The service's process-wide state as its objects see it. Internal to sim/;
// tests use sim/simservice.h.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/playerfolder.h"
#include "sim/simservice.h"

using SimPlayerRef = std::shared_ptr<const SimPlayer>;

SimFaults SimCurrentFaults();

// The players now present: a fresh scan of the player folder, less those
// pulled out. Scan errors are kept for SimScanErrors and printed.
std::vector<SimPlayerRef> SimPresentPlayers();
bool SimPlayerPresent(const std::string& id);

// Advised sinks. The service holds one reference to each until it is
// unadvised, or until its connection point's owner goes away.
DWORD SimAdviseSink(const void* owner, IWMDMNotification* sink);
HRESULT SimUnadviseSink(const void* owner, DWORD cookie);
void SimUnadviseAll(const void* owner);

void SimRecordInsert(const SimInsertRecord& record);
