// What check and send found, decided apart from how it is shown: the device
// layer's checks, the acceptance report and the copy's result become one
// value that render.h prints as text or as JSON.
#pragma once

#include <string>
#include <vector>

#include "device/device_details.h"
#include "device/transfer.h"
#include "flash/flash.h"
#include "image/accept.h"

namespace flash {

struct TransferVerdict {
  bool send = false;                       // the command was send
  std::string file;                        // as given, in UTF-8
  const TransferKindInfo* kind = nullptr;  // never null in a decided verdict
  const DeviceDetails* player = nullptr;   // the chosen player; outlives the verdict
  TransferCheck check = {};
  HRESULT hr = S_OK;       // the copy's result (send) or the checks' (check)
  std::string trustLevel;  // the accepted signature's level; empty when not accepted
  std::string refusal;     // why the checks stop the file; empty when it passed
  std::string failure;     // the refusal, or why the copy failed; empty when all went well
  bool copied = false;     // the file is on the player
  int exitCode = kExitOk;
  std::vector<std::string> lines;  // the image layers' diagnostic lines
};

// The verdict of one check or send on `player`. `report` is the acceptance's
// report of this run, or null when it made none.
TransferVerdict DecideTransfer(const Options& options, const DeviceDetails& player, const TransferCheck& check,
                               HRESULT hr, const AcceptReport* report, std::vector<std::string> lines);

}  // namespace flash
