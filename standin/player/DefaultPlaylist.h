// The built-in playlist: short sine tones in different layouts with different tags.
#pragma once

#include <string>
#include <vector>

#include "standin/player/WavFormat.h"
#include "standin/player/WavTags.h"

namespace standin {

struct SynthTrack {
    std::string fileName;
    WavFormat format;
    double seconds;
    double frequency;
    WavTags tags;
};

// In playlist order: a plain ASCII track, one with code page 932 artist and title, one whose
// title holds the literal "%TITLE%", and one without an artist (its title is its file name).
std::vector<SynthTrack> DefaultTracks();

// Writes the tracks into folder; returns their paths, or an empty list (and error) on failure.
std::vector<std::string> WriteDefaultPlaylist(const std::string& folder, std::string* error);

// Tracks whose tags (UTF-8 in the file) and file names hold characters outside code page 932:
// accented Latin, Korean, simplified Chinese, and one outside the Basic Multilingual Plane.
struct UnicodeTrack {
    std::wstring fileName;
    SynthTrack track;  // fileName unused; tags in UTF-8
};
std::vector<UnicodeTrack> UnicodeTracks();

// Writes them into folder after the default tracks; their paths, or an empty list on failure.
std::vector<std::wstring> WriteUnicodePlaylist(const std::string& folder, std::string* error);

}  // namespace standin
