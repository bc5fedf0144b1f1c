// One whole handshake against the in-process service, for the channel's
// benchmark and timing program.
#pragma once

#include "channel/initiator.h"
#include "tests/channel/responder_peer.h"

namespace channelbench {

// Both ends of one handshake, in process; true when it succeeds.
inline bool Handshake() {
  channeltest::ResponderPeer peer;
  ChannelInitiator channel;
  const BYTE zero[1] = {0};
  channel.setCredentials(2, zero, 1, zero, 1);
  channel.attachPeer(&peer);
  return channel.authenticate(2) == S_OK;
}

}  // namespace channelbench
