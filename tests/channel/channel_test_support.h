// Helpers of the channel suites: hex in the ordinary (most significant first)
// notation, the curve context under the lock, the service's credential files,
// and (responder_peer.h) a service root that answers with a ChannelResponder.
#pragma once

#include <string>
#include <vector>

#include "channel/ecdsa_elgamal.h"
#include "tests/channel/responder_peer.h"

namespace channeltest {

// "1234…" (most significant first) as wire bytes (least significant first).
std::vector<BYTE> Wire(const std::string& hex);
// Wire bytes as ordinary hex, most significant first.
std::string Ordinary(const BYTE* wire, size_t n);
// Bytes as they stand, lowercase.
std::string Hex(const BYTE* p, size_t n);

// The channel's curve context for direct calls: joins the lock scheme, takes
// the lock and creates the context (null when that fails); CloseHeldCurve
// undoes all three.
ChannelCurve* OpenHeldCurve();
void CloseHeldCurve(ChannelCurve* curve);

// The development service's credentials (keys/dev/channel/service.*), its
// private key hidden in a key container.
std::vector<BYTE> ServiceCertificate();
std::vector<BYTE> ServiceKeyContainer();
// The development root's private key (keys/dev/channel/root.key), wire form.
std::vector<BYTE> RootPrivateKey();

// The certificate with its signed-length word set to `dwLengthWord` and
// signed again with the development root over `dwSignedLength` bytes from
// its offset 48.
std::vector<BYTE> Resigned(std::vector<BYTE> certificate, DWORD dwSignedLength, DWORD dwLengthWord);

}  // namespace channeltest
