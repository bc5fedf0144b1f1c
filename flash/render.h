// How the commands show what they found: one text for people (the verdict
// on the standard output, failures on the error stream) and one JSON object
// per run for scripts. Nothing here prints; the commands write what these
// return.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device/device_details.h"
#include "flash/verdict.h"

namespace flash {

// What a command writes to the standard output and to the error stream.
struct Printed {
  std::string out;
  std::string err;
};

using Players = std::vector<std::unique_ptr<DeviceDetails>>;

// One failure line: the JSON verdict {"ok":false,...} or "tessfold-flash: …"
// on the error stream.
Printed RenderFailure(bool json, int exitCode, const std::string& message);

// Why the device session could not be set up, by the stage creation stopped at.
std::string ServiceFailureMessage(const DeviceManagerCreateResult& result);

// list: the players with their storages.
Printed RenderPlayers(bool json, const Players& players);

// check and send.
Printed RenderTransfer(bool json, const TransferVerdict& verdict);

// --all: one line per player while the run goes on, then the summary table
// (player, result, destination, verified), or one JSON array of verdicts.
std::string VerdictLine(const TransferVerdict& verdict);
Printed RenderSummary(bool json, const std::vector<TransferVerdict>& verdicts);

// "Manufacturer Name (id)": how a player is named where several may share a name.
std::string PlayerLabel(const DeviceDetails& player);

// The log's record of one send attempt: one JSON object on one line.
// `sourcePath` is the file's full path (a record must still name it when the
// folder it was given from is long forgotten).
std::string LogLine(const TransferVerdict& verdict, const std::string& sourcePath, const std::string& utcTime,
                    const std::string& version);

}  // namespace flash
