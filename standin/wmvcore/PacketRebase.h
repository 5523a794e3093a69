// A listener's own stream time. Each listener's stream begins as a file does, whenever the
// listener joins: its first data packet is sent at 0 and its presentation times run from the
// preroll on. Players take the times they receive as the position in what they play; a
// listener that joined a broadcast 30 s in and got the broadcast's own times would begin at
// 30 s, past any position a player stops at or any length it was asked to play.
#pragma once

#include <windows.h>

#include <cstddef>

namespace wmstandin {

// The send time (ms) of a data packet; 0 when its layout cannot be read.
DWORD PacketSendTime(const BYTE* packet, size_t size) noexcept;

// Writes the data packet into out (room bytes, at least size) with base (ms) taken from its send
// time and from every payload's presentation time (none goes below 0), and returns its size; 0
// when out is too small. A packet whose layout cannot be read is copied unchanged.
size_t RebasePacket(const BYTE* packet, size_t size, DWORD base, BYTE* out, size_t room) noexcept;

}  // namespace wmstandin
