// Where a new listener joins a live stream: at a payload boundary. Its first data packet is the
// next packet with the payloads that continue media objects begun in earlier packets taken
// out, the room they took turned into padding. A listener that started inside a split object
// would get its tail first, which players report as a broken fragment.
#pragma once

#include <windows.h>

#include <cstddef>

namespace wmstandin {

// Writes the ASF data packet, as a listener's first, into out (room bytes, at least size) and
// returns its size, which is the packet's own; 0 when nothing of it can begin a stream (every
// payload continues an earlier object, or its layout has no padding length to grow), so the
// listener waits for the next packet. A packet whose layout cannot be read is copied unchanged:
// the sink passes on what the writer gave it and never holds a listener back for it.
size_t JoinPacket(const BYTE* packet, size_t size, BYTE* out, size_t room) noexcept;

}  // namespace wmstandin
