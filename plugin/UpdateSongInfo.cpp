#include "plugin/UpdateSongInfo.h"

#include <string>

#include "peercast/PeerCastMetadata.h"
#include "plugin/BroadcastControl.h"
#include "plugin/CurrentFile.h"
#include "plugin/FormatSongInfo.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "plugin/SongInfo.h"
#include "plugin/SongWorker.h"
#include "ui/MainWindow.h"
#include "win/CriticalSection.h"

namespace ombrel {
namespace {

// A title from the playlist stands alone: the template's other fields would only frame nothing.
// For a PeerCast field, only the template that names the title gets it.
std::string FieldText(const std::string& format, const SongInfo& info, bool whole) {
    if (!info.playlistTitle) return FormatSongInfo(format, info);
    return whole || format.find("%TITLE%") != std::string::npos ? info.title : std::string();
}

std::wstring FieldTextW(const std::string& format, const SongInfo& info, bool whole) {
    if (!info.playlistTitle) return FormatSongInfoW(format, info);
    return whole || format.find("%TITLE%") != std::string::npos ? info.titleW : std::wstring();
}

void SendScript(const SongInfo& info, bool keepAlive) {
    if (!_inputFormat.scriptEnabled) return;
    // The caption carries the player's text as read; the field of the narrow window shows what
    // the system code page makes of it.
    const std::string& format = _settings.script._cFormat;
    const std::wstring caption = keepAlive ? std::wstring() : FieldTextW(format, info, true);
    {
        // A worker a stop no longer waits for finds the encoder gone, never half released.
        win::CsLock hold(ScriptEncoderLock());
        LiveEncoder* encoder = nullptr;
        if (SongWorkerStopRequest() || FAILED(GetEncoder(&encoder))) return;
        if (keepAlive) {
            encoder->WriteScript(L"", L"");
            return;
        }
        encoder->WriteScript(L"TEXT", caption.c_str());
    }
    ShowScriptText(FieldText(format, info, true).c_str());
}

// A track's texts for PeerCast, formatted with the PeerCast templates; track points into them.
// JSON-RPC takes the player's UTF-16 text whole, where setmeta keeps its code-page bytes.
struct PeerCastTexts {
    explicit PeerCastTexts(const SongInfo& info)
        : album(FieldText(_settings.peerCast._cFormatAlbum, info, false)),
          title(FieldText(_settings.peerCast._cFormatTitle, info, false)),
          artist(FieldText(_settings.peerCast._cFormatArtist, info, false)),
          albumUtf8(Utf8Field(_settings.peerCast._cFormatAlbum, info)),
          titleUtf8(Utf8Field(_settings.peerCast._cFormatTitle, info)),
          artistUtf8(Utf8Field(_settings.peerCast._cFormatArtist, info)),
          track{_settings.peerCast._cChannel.c_str(), artist.c_str(), title.c_str(), album.c_str()} {
        if (!info.unicode) return;
        track.artistUtf8 = artistUtf8.c_str();
        track.titleUtf8 = titleUtf8.c_str();
        track.albumUtf8 = albumUtf8.c_str();
    }
    PeerCastTexts(const PeerCastTexts&) = delete;
    PeerCastTexts& operator=(const PeerCastTexts&) = delete;

    const std::string album;
    const std::string title;
    const std::string artist;
    const std::string albumUtf8;
    const std::string titleUtf8;
    const std::string artistUtf8;
    PeerCastTrack track;

private:
    static std::string Utf8Field(const std::string& format, const SongInfo& info) {
        return info.unicode ? PeerCastUtf8Value(FieldTextW(format, info, false)) : std::string();
    }
};

// True when the node took the track.
bool SendToPeerCast(const SongInfo& info, PeerCastInterface* node) {
    const PeerCastSettings& peerCast = _settings.peerCast;
    const PeerCastTexts texts(info);
    const PeerCastTrack& track = texts.track;
    PeerCastInterface unknown = PeerCastInterface::Unknown;
    PeerCastInterface& known = node ? *node : unknown;
    // Only the worker reaches here, and a stop cancels it rather than wait.
    bool taken = false;
    known = UpdatePeerCastTrack(kPeerCastHost, static_cast<int>(peerCast._dwPort), track, known,
                                &SongWorkerStopRequest(), &taken);
    return taken;
}

}  // namespace

HRESULT UpdateSongInfo(HWND player, bool changed, bool keepAlive, PeerCastInterface* node, bool* peerCastTook) {
    return UpdateSongInfoOf(player, nullptr, changed, keepAlive, node, peerCastTook);
}

HRESULT UpdateSongInfoOf(HWND player, const PlayingFile* file, bool changed, bool keepAlive, PeerCastInterface* node,
                         bool* peerCastTook) {
    if (peerCastTook) *peerCastTook = false;
    SongInfo info;
    if (!IsBroadcasting()) return S_OK;
    if (changed || !keepAlive) {
        HRESULT hr = ReadSongInfo(player, file ? *file : CurrentPlayingFile(), &info);
        if (FAILED(hr)) return hr;
    }
    SendScript(info, keepAlive);
    if (changed && _settings.peerCast._fEnable) {
        const bool took = SendToPeerCast(info, node);
        if (peerCastTook) *peerCastTook = took;
    }
    return S_OK;
}

bool ReadPeerCastTrackTexts(HWND player, const PlayingFile& file, TrackUtf8* texts) {
    SongInfo info;
    if (!texts || file.path.empty() || FAILED(ReadSongInfo(player, file, &info))) return false;
    *texts = PeerCastTrackTexts(PeerCastTexts(info).track);
    return true;
}

HRESULT SendCurrentTrackToPeerCast(HWND player, const char* path, PeerCastInterface* node) {
    return SendCurrentTrackToPeerCast(player, PlayingFile{path ? path : "", std::wstring()}, node);
}

HRESULT SendCurrentTrackToPeerCast(HWND player, const PlayingFile& file, PeerCastInterface* node) {
    if (file.path.empty() || !_settings.peerCast._fEnable || !_fSongDetect) return S_FALSE;
    SongInfo info;
    const HRESULT hr = ReadSongInfo(player, file, &info);
    if (FAILED(hr)) return hr;
    return SendToPeerCast(info, node) ? S_OK : S_FALSE;
}

}  // namespace ombrel
