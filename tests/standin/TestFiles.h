// Helpers shared by the stand-in tests: a temp folder per test and WAV files made on the spot.
#pragma once

#include <string>
#include <vector>

#include "standin/player/SineTone.h"
#include "standin/player/TempFolder.h"
#include "standin/player/WavWriter.h"

namespace ombrel::test {

inline standin::WavContents ToneContents(const standin::WavFormat& format, uint32_t frames,
                                         const standin::WavTags& tags = {}) {
    standin::WavContents c;
    c.format = format;
    c.tags = tags;
    c.pcm = standin::SynthesizeSine(format, 440.0, frames);
    return c;
}

inline standin::WavTags FullTags(const std::string& title, const std::string& artist) {
    standin::WavTags t;
    t.title = title;
    t.artist = artist;
    t.comment = "comment of " + title;
    t.album = "album of " + title;
    return t;
}

}  // namespace ombrel::test
