// What check and send found, decided apart from how it is shown: the device
// layer's checks, the acceptance report and the copy's result become one
// value that render.h prints as text or as JSON.
#pragma once

#include <string>
#include <vector>

#include "device/device_details.h"
#include "device/readback.h"
#include "device/transfer.h"
#include "flash/flash.h"
#include "image/accept.h"

namespace flash {

// What the read-back of a send found.
enum class Verification {
  kNotRun,    // check, or nothing was sent
  kSkipped,   // --no-verify
  kMatched,   // the player holds what was sent
  kMismatch,  // it held something else (removed unless readBack.fRemoved is false)
  kNotDone,   // it could not be read back; the file is left on the player
};

// Where a Ctrl-C stopped a send.
enum class Interruption { kNone, kBeforeCopy, kDuringCopy, kDuringReadBack };

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
  std::string storage;     // the storage it went to (send); empty when none or unnamed
  std::string fileSha1;    // the file's SHA-1 in hex; empty when it could not be read
  Verification verification = Verification::kNotRun;
  ReadBackResult readBack = {};
  Interruption interruption = Interruption::kNone;
  bool skipped = false;  // the player was not worked on (--all)
  int exitCode = kExitOk;
  std::vector<std::string> lines;  // the image layers' diagnostic lines
};

// The verdict of one check or send on `player`. `report` is the acceptance's
// report of this run, or null when it made none.
TransferVerdict DecideTransfer(const Options& options, const DeviceDetails& player, const TransferCheck& check,
                               HRESULT hr, const AcceptReport* report, std::vector<std::string> lines);

// The read-back of a copied file (VerifyLastTransfer's result and verdict),
// or --no-verify when `ran` is false; for a verdict that copied.
void DecideReadBack(TransferVerdict* verdict, bool ran, HRESULT hr, const ReadBackResult& readBack);

// A stop request that arrived during `where`: the verdict says what state
// the player is in and ends with kExitInterrupted.
void DecideInterruption(TransferVerdict* verdict, Interruption where);

// The verdict for a player that was not worked on (busy, no ready storage,
// not reachable): `reason` is the failure line.
TransferVerdict SkippedPlayer(const Options& options, const DeviceDetails& player, const std::string& reason);

// Lower-case hex of a digest.
std::string HexDigest(const BYTE* digest, size_t length);

}  // namespace flash
