// Writes WAV files: the built-in playlist uses it, and tests make their own files with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "standin/player/WavFormat.h"
#include "standin/player/WavTags.h"

namespace standin {

// A chunk written as given (odd sizes get their pad byte), for files with unusual layouts.
struct RiffChunk {
    std::string id;  // four characters
    std::vector<uint8_t> data;
};

struct WavContents {
    WavFormat format;
    WavTags tags;
    std::vector<uint8_t> pcm;  // as stored: 8-bit unsigned, wider little-endian signed
    bool extensible = false;   // WAVE_FORMAT_EXTENSIBLE with the PCM subtype
    bool tagsAfterData = false;
    std::vector<RiffChunk> extraChunks;  // placed between "fmt " and the rest
};

std::vector<uint8_t> BuildWavBytes(const WavContents& contents);

bool WriteBytesToFile(const std::string& path, const std::vector<uint8_t>& bytes);
bool WriteBytesToFile(const std::wstring& path, const std::vector<uint8_t>& bytes);

bool WriteWavFile(const std::string& path, const WavContents& contents);
bool WriteWavFile(const std::wstring& path, const WavContents& contents);

}  // namespace standin
