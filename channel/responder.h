// ChannelResponder: the service's side of the secure authenticated channel,
// the mirror of ChannelInitiator. The simulated service answers the program
// with it; tests run both ends in one process.
#pragma once

#include "channel/channel_object.h"

struct ChannelCurve;

class ChannelResponder : public ChannelObject {
 public:
  ChannelResponder() = default;
  ~ChannelResponder();

  // A task-allocated list holding the single protocol id 2.
  HRESULT protocols(DWORD** ppdwProtocols, DWORD* pdwProtocolCount);

  // SACAuth's contract: the reply is task-allocated and belongs to the
  // caller; both outputs are cleared first. Protocol 1: E_NOTIMPL; other than
  // 1 and 2: E_INVALIDARG; a null or wrongly sized request: E_INVALIDARG;
  // pass 1 without a pass 0 before it, or a pass above 1:
  // WMDM_E_CALL_OUT_OF_SEQUENCE. Pass 1 refuses the initiator's certificate
  // with 0x80041003 for a format word and E_FAIL for a signed length above 52
  // or a root signature that does not verify, and its challenge signature
  // with E_FAIL. E_FAIL also when no random bytes can be had, the own key
  // container yields no usable key, or no key point is found.
  HRESULT exchange(DWORD dwProtocolID, DWORD dwPass, const BYTE* pbDataIn, DWORD dwDataInLen, BYTE** ppbDataOut,
                   DWORD* pdwDataOutLen);

  // The root the initiator's certificate is checked against; null (and the
  // start) is the built-in root.
  void setTrustedRoot(const BYTE rgbRoot[40]);
  // Counters tried for the key point (100 unless set).
  void setKeyPointTries(DWORD dwTries) { keyPointTries_ = dwTries; }

 private:
  HRESULT pass0(const BYTE* pbDataIn, BYTE** ppbDataOut, DWORD* pdwDataOutLen);
  HRESULT pass1(const BYTE* pbDataIn, BYTE** ppbDataOut, DWORD* pdwDataOutLen);
  void dropCurve();

  BYTE initiatorChallenge_[4] = {};
  BYTE responderChallenge_[4] = {};
  bool challengesReady_ = false;
  BYTE trustedRoot_[40];
  bool ownRoot_ = false;
  DWORD keyPointTries_ = 100;
  // The curve context of the exchange under way, from its pass 0 to its
  // pass 1.
  ChannelCurve* curve_ = nullptr;
};
