// Faults the simulated service can be told to show, so that callers can be
// tested against a service and players that misbehave the way real ones do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A byte count meaning "half of the file being copied".
constexpr uint64_t kSimHalfway = UINT64_MAX;
// The longest storage folder name a description accepts.
constexpr size_t kSimMaxFolderBytes = 255;

struct SimFaults {
  bool rejectAuth = false;   // the channel exchange refuses the caller
  bool noProtocols = false;  // SACGetProtocols offers no protocol
  // SACGetProtocols offers this protocol id ahead of its own (0: none).
  uint32_t protocolFirst = 0;
  // After a successful handshake the root object still refuses the device
  // manager (IWMDeviceManager and IWMDeviceManager2).
  bool managerRefused = false;
  bool adviseFails = false;       // the connection point refuses every sink
  bool playersNotReady = false;   // every player reports not ready
  bool storagesNotReady = false;  // every storage reports not ready
  // Insert3 fails once this many bytes have been written (a count at or past
  // the end fails just before the file would be completed); with a storage
  // named, only on storages of that folder (ASCII case-blind, as folders are
  // told apart in descriptions). NUL-terminated, empty for every storage; a
  // plain array so that the struct crosses the DLL boundary by copy.
  bool insertFails = false;
  uint64_t insertFailAfter = kSimHalfway;
  char insertFailStorage[kSimMaxFolderBytes + 1] = {};
  // The storage's CreateEmptyMetadataObject fails, or the metadata object's
  // AddItem does.
  bool metadataCreateFails = false;
  bool metadataAddFails = false;
  // The player is pulled out once this many bytes have been written: removal
  // is announced to the advised sinks and the copy fails.
  bool removeDuringTransfer = false;
  uint64_t removeAfter = kSimHalfway;
  // Insert3 still succeeds, and reports the progress of a whole, good copy,
  // but the file on the player comes out wrong: one byte at damageAt
  // inverted (half the file: the middle byte; past the end: the last byte),
  // or the last shortBy bytes missing (half the file: size/2 of them). With
  // both, the file is cut short first and then damaged.
  bool damagedWrite = false;
  uint64_t damageAt = kSimHalfway;
  bool shortWrite = false;
  uint64_t shortBy = kSimHalfway;
  // Read refuses to copy a file back (WMDM_E_NOTSUPPORTED); Delete refuses to
  // remove one (E_ACCESSDENIED).
  bool readRefused = false;
  bool deleteRefused = false;
  uint32_t chunkBytes = 64 * 1024;  // bytes copied between two progress reports
  uint32_t chunkDelayMs = 0;        // pause after each chunk, to watch progress
  // The secure channel: each switch makes one step of the handshake fail.
  int32_t channelCertFormatAt = -1;        // a format word of the service's certificate (0 or 88) is wrong
  uint32_t channelSignedLength = 0;        // the certificate's signed-length word (0: as signed)
  bool channelForeignCertificate = false;  // the certificate is signed by another root
  bool channelBadChallengeSignature = false;
  bool channelBadKeySignature = false;  // the signature over the session key
  bool channelShortPass0 = false;       // replies one byte short
  bool channelShortPass1 = false;
  bool channelC1OffCurve = false;      // the key transport's C1 is not on the curve
  bool channelNoSquareRoot = false;    // no counter gives a key point
  bool channelDistrustCaller = false;  // the caller's certificate does not verify for the service
  // How often the COM server DLL looks for players that came or went (see
  // SimWatchPlayerFolder); 0: never.
  uint32_t watchMs = 0;
};

// Parses the switch list of the TESSFOLD_SIM_FAULTS variable: words separated
// by commas or blanks, some with "=number" (decimal or 0x hex) or "=name":
//   reject-auth  no-protocols  protocol-first=ID  manager-refused  advise-fails  players-not-ready  storages-not-ready
//   insert-fail[=BYTES]  insert-fail-storage=FOLDER  remove-during-transfer[=BYTES]
//   damaged-write[=OFFSET]  short-write[=BYTES]  read-refused  delete-refused
//   metadata-create-fails  metadata-add-fails  chunk=BYTES  chunk-delay-ms=N  watch-ms=N
//   channel-cert-format=0|88  channel-signed-length=N  channel-foreign-cert  channel-challenge-signature
//   channel-key-signature  channel-short-pass0  channel-short-pass1  channel-c1-off-curve
//   channel-no-square-root  channel-distrust-caller
// A value may be put in double quotes to hold blanks or commas
// (insert-fail-storage="Internal Storage"). insert-fail-storage implies
// insert-fail; a storage folder must pass SimCheckFolderName. Starts from the
// defaults. On failure returns false with a one-line `error`.
bool SimParseFaults(std::string_view text, SimFaults* out, std::string* error);
