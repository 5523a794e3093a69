#include "standin/player/DefaultPlaylist.h"

#include "standin/player/JapaneseTags.h"
#include "standin/player/SineTone.h"
#include "standin/player/WavWriter.h"
#include "standin/player/WideText.h"

namespace standin {

std::vector<SynthTrack> DefaultTracks() {
    std::vector<SynthTrack> tracks(4);

    tracks[0].fileName = "01 Concert Pitch.wav";
    tracks[0].format = WavFormat{44100, 2, 16};
    tracks[0].seconds = 3.0;
    tracks[0].frequency = 440.0;
    tracks[0].tags = {std::string("Concert Pitch"), std::string("Ombrel Test Ensemble"),
                      std::string("A 440 Hz sine"), std::string("Ombrel Stand-in Tones")};

    tracks[1].fileName = "02 Sakura.wav";
    tracks[1].format = WavFormat{22050, 1, 8};
    tracks[1].seconds = 2.0;
    tracks[1].frequency = 523.25;
    tracks[1].tags = {std::string(JapaneseTitle()), std::string(JapaneseArtist()),
                      std::string(JapaneseComment()), std::string(JapaneseAlbum())};

    tracks[2].fileName = "03 Placeholder.wav";
    tracks[2].format = WavFormat{48000, 2, 24};
    tracks[2].seconds = 3.0;
    tracks[2].frequency = 660.0;
    tracks[2].tags = {std::string("Literal %TITLE% Marker"), std::string("Placeholder Band"),
                      std::string("The title is not a template"),
                      std::string("Ombrel Stand-in Tones")};

    tracks[3].fileName = "04 No Artist.wav";
    tracks[3].format = WavFormat{44100, 1, 16};
    tracks[3].seconds = 2.0;
    tracks[3].frequency = 330.0;
    tracks[3].tags.title = std::string("Nobody Played This");
    tracks[3].tags.comment = std::string("No IART tag");
    tracks[3].tags.album = std::string("Ombrel Stand-in Tones");

    return tracks;
}

std::vector<UnicodeTrack> UnicodeTracks() {
    const WavFormat format{44100, 2, 16};
    auto make = [&](const wchar_t* fileName, double frequency, const char* title, const char* artist,
                    const char* album) {
        UnicodeTrack t;
        t.fileName = fileName;
        t.track.format = format;
        t.track.seconds = 2.0;
        t.track.frequency = frequency;
        t.track.tags = {std::string(title), std::string(artist), std::string("Unicode"), std::string(album)};
        t.track.tags.utf8 = true;
        return t;
    };
    return {
        make(L"05 Déjà Vu.wav", 392.0, u8"Déjà Vu", u8"Beyoncé", u8"Déjà Vu – Single"),
        make(L"06 봄날.wav", 440.0, u8"봄날", u8"방탄소년단",
             u8"You Never Walk Alone"),
        make(L"07 这首歌.wav", 494.0, u8"这首歌", u8"刘若英",
             u8"专辑"),
        make(L"08 𠮷.wav", 523.0, u8"𠮷野家の歌 🎵",
             u8"𠮷田", u8"🎵"),
    };
}

std::vector<std::wstring> WriteUnicodePlaylist(const std::string& folder, std::string* error) {
    std::vector<std::wstring> paths;
    for (const UnicodeTrack& unicode : UnicodeTracks()) {
        const SynthTrack& track = unicode.track;
        WavContents contents;
        contents.format = track.format;
        contents.tags = track.tags;
        contents.pcm = SynthesizeSine(track.format, track.frequency,
                                      uint32_t(track.seconds * track.format.sampleRate));
        const std::wstring path = WideFromAnsi(folder) + L"\\" + unicode.fileName;
        if (!WriteWavFile(path, contents)) {
            *error = "cannot write " + AnsiFromWide(path);
            return {};
        }
        paths.push_back(path);
    }
    return paths;
}

std::vector<std::string> WriteDefaultPlaylist(const std::string& folder, std::string* error) {
    std::vector<std::string> paths;
    for (const SynthTrack& track : DefaultTracks()) {
        WavContents contents;
        contents.format = track.format;
        contents.tags = track.tags;
        contents.pcm = SynthesizeSine(track.format, track.frequency,
                                      uint32_t(track.seconds * track.format.sampleRate));
        const std::string path = folder + "\\" + track.fileName;
        if (!WriteWavFile(path, contents)) {
            *error = "cannot write " + path;
            return {};
        }
        paths.push_back(path);
    }
    return paths;
}

}  // namespace standin
