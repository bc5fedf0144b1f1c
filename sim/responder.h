// The service's side of the secure authenticated channel, behind the root
// object's SACGetProtocols and SACAuth. Internal to sim/.
//
// For now this checks the sequence and the sizes of the protocol-2 exchange
// (pass 0: a 4-byte challenge; pass 1: a 40-byte signature and a 100-byte
// certificate) and answers with replies of the protocol's sizes, without the
// cryptography; the channel module's responder takes its place once it exists.
#pragma once

#include "platform/wmdm.h"

class SimResponder {
 public:
  // A task-allocated array holding the single id 2.
  // The protocols offered: `first` (when not 0) ahead of the one spoken here.
  HRESULT protocols(DWORD** ppdwProtocols, DWORD* pdwProtocolCount, DWORD first = 0);

  // SACAuth's contract: the reply is allocated with CoTaskMemAlloc and
  // belongs to the caller; *ppbDataOut and *pdwDataOutLen are cleared on
  // failure. Protocol 1: E_NOTIMPL; other than 1 and 2: E_INVALIDARG. A pass
  // out of order: WMDM_E_CALL_OUT_OF_SEQUENCE. A request of the wrong size:
  // E_INVALIDARG.
  HRESULT exchange(DWORD dwProtocolID, DWORD dwPass, const BYTE* pbDataIn, DWORD dwDataInLen, BYTE** ppbDataOut,
                   DWORD* pdwDataOutLen);

  bool authenticated() const { return authenticated_; }

 private:
  DWORD nextPass_ = 0;
  bool authenticated_ = false;
};
