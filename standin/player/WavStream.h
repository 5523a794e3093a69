// Sequential reading of a WAV file's sample frames, for the audio thread.
#pragma once

#include <cstdint>
#include <string>

#include "standin/player/WavReader.h"
#include "win/UniqueAny.h"

namespace standin {

class WavStream {
public:
    // info comes from ReadWavInfo on the same path.
    bool Open(const std::string& path, const WavInfo& info);
    bool Open(const std::wstring& path, const WavInfo& info);
    // Reads up to frames frames into buffer; returns the frames read (0 at the end or on error).
    uint32_t ReadFrames(void* buffer, uint32_t frames);
    uint32_t FramesLeft() const { return framesLeft_; }

private:
    win::UniqueFile file_;
    uint32_t blockAlign_ = 0;
    uint32_t framesLeft_ = 0;
};

}  // namespace standin
