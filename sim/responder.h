// The service's side of the secure authenticated channel, behind the root
// object's SACGetProtocols and SACAuth. Internal to sim/.
//
// The channel module's ChannelResponder does the protocol with the service's
// development credentials; this adds the service's fault switches (replies
// tampered with or cut short, a certificate from another root, a service
// that distrusts the caller's root) and the exchange trace
// (TESSFOLD_SIM_TRACE).
#pragma once

#include "channel/responder.h"
#include "platform/wmdm.h"

class SimResponder {
 public:
  SimResponder();

  // The protocols offered: `first` (when not 0) ahead of the one spoken here.
  HRESULT protocols(DWORD** ppdwProtocols, DWORD* pdwProtocolCount, DWORD first = 0);

  // SACAuth's contract: the reply is allocated with CoTaskMemAlloc and
  // belongs to the caller; *ppbDataOut and *pdwDataOutLen are cleared on
  // failure. Protocol 1: E_NOTIMPL; other than 1 and 2: E_INVALIDARG. A pass
  // out of order: WMDM_E_CALL_OUT_OF_SEQUENCE. A request of the wrong size:
  // E_INVALIDARG. A caller whose certificate or signature does not verify:
  // 0x80041003 (certificate format) or E_FAIL.
  HRESULT exchange(DWORD dwProtocolID, DWORD dwPass, const BYTE* pbDataIn, DWORD dwDataInLen, BYTE** ppbDataOut,
                   DWORD* pdwDataOutLen);

  // True once a pass 1 verified the caller and sent it the session key.
  bool authenticated() const { return responder_.isAuthenticated(); }

 private:
  ChannelResponder responder_;
};

// One line "pass N request HEX" or "pass N reply HEX" appended to the file
// named by TESSFOLD_SIM_TRACE (nothing when it is unset or cannot be opened).
void SimTraceMessage(DWORD dwPass, const char* what, const BYTE* pb, DWORD cb);
