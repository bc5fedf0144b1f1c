// The process-wide lock around all curve work of the channel. It exists only
// while at least one handshake runs: the first to enter creates it, the last
// to leave deletes it; the use count is the only atomic.
#pragma once

#include "platform/sync.h"
#include "platform/win.h"

// Takes part in the scheme (creating the lock when first) / leaves it.
void ChannelLockJoin();
void ChannelLockLeave();

void ChannelLockEnter();
void ChannelLockExit();

// Handshakes taking part right now (tests check that it comes back to 0).
LONG ChannelLockUseCount();

// Membership for one handshake, left on every path.
class ChannelLockMembership {
 public:
  ChannelLockMembership() { ChannelLockJoin(); }
  ~ChannelLockMembership() { ChannelLockLeave(); }
  ChannelLockMembership(const ChannelLockMembership&) = delete;
  ChannelLockMembership& operator=(const ChannelLockMembership&) = delete;
};

class ChannelLockHeld {
 public:
  ChannelLockHeld() { ChannelLockEnter(); }
  ~ChannelLockHeld() { ChannelLockExit(); }
  ChannelLockHeld(const ChannelLockHeld&) = delete;
  ChannelLockHeld& operator=(const ChannelLockHeld&) = delete;
};
