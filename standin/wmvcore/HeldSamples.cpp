#include "standin/wmvcore/HeldSamples.h"

namespace wmstandin {

void HeldSamples::Hold(WORD stream, LONGLONG time, const BYTE* data, DWORD size, bool keyFrame) {
    Sample& slot = samples_.PushBack();
    slot.stream = stream;
    slot.time = time;
    slot.bytes.assign(data, data + size);
    slot.keyFrame = keyFrame;
}

}  // namespace wmstandin
