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

namespace ombrel {
namespace {

void SendScript(const SongInfo& info, bool keepAlive) {
    LiveEncoder* encoder = nullptr;
    if (!_inputFormat.scriptEnabled || FAILED(GetEncoder(&encoder))) return;
    if (keepAlive) {
        encoder->WriteScript(L"", L"");
        return;
    }
    // The caption carries the player's text as read; the field of the narrow window shows what
    // the system code page makes of it.
    const std::string& format = _settings.script._cFormat;
    const std::wstring caption = FormatSongInfoW(format, info);
    encoder->WriteScript(L"TEXT", caption.c_str());
    ShowScriptText(FormatSongInfo(format, info).c_str());
}

void SendToPeerCast(const SongInfo& info, PeerCastInterface* node) {
    const PeerCastSettings& peerCast = _settings.peerCast;
    const std::string album = FormatSongInfo(peerCast._cFormatAlbum, info);
    const std::string title = FormatSongInfo(peerCast._cFormatTitle, info);
    const std::string artist = FormatSongInfo(peerCast._cFormatArtist, info);
    PeerCastTrack track = {peerCast._cChannel.c_str(), artist.c_str(), title.c_str(), album.c_str()};
    // JSON-RPC takes the player's UTF-16 text whole, where setmeta keeps its code-page bytes.
    std::string albumUtf8, titleUtf8, artistUtf8;
    if (info.unicode) {
        albumUtf8 = PeerCastUtf8Value(FormatSongInfoW(peerCast._cFormatAlbum, info));
        titleUtf8 = PeerCastUtf8Value(FormatSongInfoW(peerCast._cFormatTitle, info));
        artistUtf8 = PeerCastUtf8Value(FormatSongInfoW(peerCast._cFormatArtist, info));
        track.artistUtf8 = artistUtf8.c_str();
        track.titleUtf8 = titleUtf8.c_str();
        track.albumUtf8 = albumUtf8.c_str();
    }
    PeerCastInterface unknown = PeerCastInterface::Unknown;
    PeerCastInterface& known = node ? *node : unknown;
    // Only the worker reaches here, and a stop cancels it rather than wait.
    known = UpdatePeerCastTrack(kPeerCastHost, static_cast<int>(peerCast._dwPort), track, known,
                                &SongWorkerStopRequest());
}

}  // namespace

HRESULT UpdateSongInfo(HWND player, bool changed, bool keepAlive, PeerCastInterface* node) {
    SongInfo info;
    if (!IsBroadcasting()) return S_OK;
    if (changed || !keepAlive) {
        HRESULT hr = ReadSongInfo(player, CurrentPlayingFile(), &info);
        if (FAILED(hr)) return hr;
    }
    SendScript(info, keepAlive);
    if (changed && _settings.peerCast._fEnable) SendToPeerCast(info, node);
    return S_OK;
}

HRESULT SendCurrentTrackToPeerCast(HWND player, const char* path, PeerCastInterface* node) {
    return SendCurrentTrackToPeerCast(player, PlayingFile{path ? path : "", std::wstring()}, node);
}

HRESULT SendCurrentTrackToPeerCast(HWND player, const PlayingFile& file, PeerCastInterface* node) {
    if (file.path.empty() || !_settings.peerCast._fEnable || !_fSongDetect) return S_FALSE;
    SongInfo info;
    const HRESULT hr = ReadSongInfo(player, file, &info);
    if (FAILED(hr)) return hr;
    SendToPeerCast(info, node);
    return S_OK;
}

}  // namespace ombrel
