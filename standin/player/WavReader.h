// Reads the layout and INFO tags of a WAV file without loading its samples.
#pragma once

#include <cstdint>
#include <string>

#include "standin/player/WavFormat.h"
#include "standin/player/WavTags.h"
#include "standin/player/WavWriter.h"

namespace standin {

struct WavInfo {
    WavFormat format;
    bool extensible = false;
    WavTags tags;
    uint32_t dataOffset = 0;  // of the first sample byte in the file
    uint32_t dataBytes = 0;   // whole frames only, limited to what the file holds
    uint32_t frames = 0;
    bool dataTruncated = false;  // the data chunk claims more than the file holds
};

struct WavReadResult {
    bool ok = false;
    std::string error;  // why the file cannot be played, when !ok
    WavInfo info;
};

WavReadResult ReadWavInfo(const std::string& path);
WavReadResult ReadWavInfo(const std::wstring& path);

// Everything, samples included, for round-trip checks.
bool ReadWavFile(const std::string& path, WavContents* contents, std::string* error);

}  // namespace standin
