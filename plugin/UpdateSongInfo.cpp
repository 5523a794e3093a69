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

// The title is the player's text, in the system code page whatever the thread's locale.
std::wstring ToWide(const std::string& ansi) {
    const int chars = ::MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
    if (chars <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(chars), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, wide.data(), chars);
    wide.resize(static_cast<size_t>(chars - 1));
    return wide;
}

void SendScript(const SongInfo& info, bool keepAlive) {
    LiveEncoder* encoder = nullptr;
    if (!_inputFormat.scriptEnabled || FAILED(GetEncoder(&encoder))) return;
    if (keepAlive) {
        encoder->WriteScript(L"", L"");
        return;
    }
    const std::string text = FormatSongInfo(_settings.script._cFormat, info);
    encoder->WriteScript(L"TEXT", ToWide(text).c_str());
    ShowScriptText(text.c_str());
}

// A track's texts for PeerCast, formatted with the PeerCast templates; track points into them.
struct PeerCastTexts {
    explicit PeerCastTexts(const SongInfo& info)
        : album(FormatSongInfo(_settings.peerCast._cFormatAlbum, info)),
          title(FormatSongInfo(_settings.peerCast._cFormatTitle, info)),
          artist(FormatSongInfo(_settings.peerCast._cFormatArtist, info)),
          track{_settings.peerCast._cChannel.c_str(), artist.c_str(), title.c_str(), album.c_str()} {}
    PeerCastTexts(const PeerCastTexts&) = delete;
    PeerCastTexts& operator=(const PeerCastTexts&) = delete;

    const std::string album;
    const std::string title;
    const std::string artist;
    const PeerCastTrack track;
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
    if (peerCastTook) *peerCastTook = false;
    SongInfo info;
    if (!IsBroadcasting()) return S_OK;
    if (changed || !keepAlive) {
        HRESULT hr = ReadSongInfo(player, CurrentFile().c_str(), &info);
        if (FAILED(hr)) return hr;
    }
    SendScript(info, keepAlive);
    if (changed && _settings.peerCast._fEnable) {
        const bool took = SendToPeerCast(info, node);
        if (peerCastTook) *peerCastTook = took;
    }
    return S_OK;
}

bool ReadPeerCastTrackTexts(HWND player, const char* path, TrackUtf8* texts) {
    SongInfo info;
    if (!texts || FAILED(ReadSongInfo(player, path, &info))) return false;
    *texts = PeerCastTrackTexts(PeerCastTexts(info).track);
    return true;
}

HRESULT SendCurrentTrackToPeerCast(HWND player, const char* path, PeerCastInterface* node) {
    if (!path || !*path || !_settings.peerCast._fEnable || !_fSongDetect) return S_FALSE;
    SongInfo info;
    const HRESULT hr = ReadSongInfo(player, path, &info);
    if (FAILED(hr)) return hr;
    return SendToPeerCast(info, node) ? S_OK : S_FALSE;
}

}  // namespace ombrel
