// The simulated service's channel credentials: its certificate (signed with
// the channel's root) and its private key, compiled in from the channel key
// folder (service.cert, service.key) by sim/service_credentials.cmake.
#pragma once

#include "platform/win.h"

extern const BYTE kSimServiceCertificate[100];
extern const BYTE kSimServicePrivateKey[20];  // least significant byte first
