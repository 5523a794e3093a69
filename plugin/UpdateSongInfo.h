// One title update: read the current file's tags, send the title as a script command and to
// the main window, and on a track change to the PeerCast node.
#pragma once

#include <windows.h>

#include "peercast/PeerCastUpdate.h"
#include "plugin/CurrentFile.h"

namespace ombrel {

// Worker (changed as found, keep-alive 0) and timer (changed 0). Tags are read when changed
// is set or keep-alive is not; a failed read sends nothing. With the script stream on and an
// encoder lent: keep-alive sends an empty command, otherwise "TEXT" with the script template,
// also shown in the main window. A change reaches PeerCast when it is enabled (blocking for
// the node's answer; the worker passes node, the interface this broadcast's node answered,
// which the update reads and keeps; *peerCastTook, when given, says whether the node took the
// track). Does nothing while not broadcasting.
HRESULT UpdateSongInfo(HWND player, bool changed, bool keepAlive, PeerCastInterface* node = nullptr,
                       bool* peerCastTook = nullptr);
// The same for a file taken earlier (null: the current one).
HRESULT UpdateSongInfoOf(HWND player, const PlayingFile* file, bool changed, bool keepAlive, PeerCastInterface* node,
                         bool* peerCastTook);

// Worker, once as a broadcast starts: the current file's track to PeerCast alone (no caption),
// so the channel shows the song playing at once rather than after the next change. S_OK when
// the node took it; S_FALSE when it did not, or nothing was sent because PeerCast or song
// detection is off or no file was announced yet; the failure of reading the tags otherwise.
HRESULT SendCurrentTrackToPeerCast(HWND player, const char* path, PeerCastInterface* node);
HRESULT SendCurrentTrackToPeerCast(HWND player, const PlayingFile& file, PeerCastInterface* node);

// The track of the file as the JSON-RPC interface gets it (the PeerCast templates, the same texts
// an update sends); false when no file was announced or its tags cannot be read.
bool ReadPeerCastTrackTexts(HWND player, const PlayingFile& file, TrackUtf8* texts);

}  // namespace ombrel
