// Test hook of the channel's curve context. Product code never includes this
// file.
#pragma once

// From the next set-up on, while on: every context still goes through its
// whole set-up in a block of its own, except that G's fixed-base table is
// built once, by the first set-up after the call, and copied into the
// contexts after it. For harnesses that run a handshake per input, whose
// time would otherwise go mostly into that one table.
void ChannelCurveShareBaseTableForTests(bool fShare);
