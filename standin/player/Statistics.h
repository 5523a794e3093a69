// What the stand-in counted while playing, for tests and the executable's exit code.
#pragma once

#include <cstdint>
#include <map>

#include "standin/player/WavFormat.h"
#include "win/CriticalSection.h"

namespace standin {

struct FormatCounts {
    uint64_t blocks = 0;
    uint64_t frames = 0;
};

struct StatisticsSnapshot {
    std::map<WavFormat, FormatCounts> perFormat;  // blocks and frames handed to ModifySamples
    uint64_t blocks = 0;
    uint64_t frames = 0;
    uint64_t countMismatches = 0;  // ModifySamples answered a frame count other than the one given
    uint64_t modifiedBlocks = 0;   // verify mode: the block changed during ModifySamples
    uint64_t tracksStarted = 0;    // by the audio thread
    uint64_t tracksAnnounced = 0;  // 3003 sent or posted by the window
    uint64_t tracksSkipped = 0;    // unreadable files

    FormatCounts For(const WavFormat& format) const {
        const auto found = perFormat.find(format);
        return found == perFormat.end() ? FormatCounts{} : found->second;
    }
};

class Statistics {
public:
    void RecordBlock(const WavFormat& format, uint32_t frames, bool countMismatch, bool modified);
    void RecordTrackStarted();
    void RecordTrackAnnounced();
    void RecordTrackSkipped();
    StatisticsSnapshot Snapshot() const;

private:
    mutable win::CriticalSection lock_;
    StatisticsSnapshot counts_;
};

}  // namespace standin
