#include "standin/player/Statistics.h"

namespace standin {

void Statistics::RecordBlock(const WavFormat& format, uint32_t frames, bool countMismatch,
                             bool modified) {
    win::CsLock hold(lock_);
    FormatCounts& f = counts_.perFormat[format];
    ++f.blocks;
    f.frames += frames;
    ++counts_.blocks;
    counts_.frames += frames;
    if (countMismatch) ++counts_.countMismatches;
    if (modified) ++counts_.modifiedBlocks;
}

void Statistics::RecordTrackStarted() {
    win::CsLock hold(lock_);
    ++counts_.tracksStarted;
}

void Statistics::RecordTrackAnnounced() {
    win::CsLock hold(lock_);
    ++counts_.tracksAnnounced;
}

void Statistics::RecordTrackSkipped() {
    win::CsLock hold(lock_);
    ++counts_.tracksSkipped;
}

StatisticsSnapshot Statistics::Snapshot() const {
    win::CsLock hold(lock_);
    return counts_;
}

}  // namespace standin
