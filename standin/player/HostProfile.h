// The kinds of player that host DSP plug-ins, as the stand-in plays them: what each answers, how
// it announces files, which window it hands the plug-in and on which threads it calls Init and
// Quit. Each follows the public source or SDK of a real host:
//   winamp5         Winamp 5.9x: every request; an unknown one answers 1; 211/212/213 point into one
//                   buffer that the next such answer overwrites; 3003 and 13003 sent with
//                   SendMessageW to its own main window, 3003's path converted as Winamp converts it
//   winamp2         Winamp 2.9x: ANSI requests only, unknown ones answer 1; 3003 alone
//   lean            a BASS-based host (MusicBee): a hidden fake "Winamp v1.x" window answering 0, 102,
//                   104, 105, 124, 125, 126, 211 and 212 only; no announcement
//   utf8            XMPlay / foobar2000 through a Winamp API emulator: 212 in UTF-8 whatever the index,
//                   125 stays 0, no version, no tags, no announcement
//   silent          MPlayer's DSP filter: every request answers 0; a hidden window owned by a helper
//                   thread that also runs Init; Quit on the main thread
//   foreign-thread  a DeaDBeeF bridge: a message-only window owned by another thread answering 0
//                   (0x2901), 104, 105, 124 to 127, and 211/212 for the current entry only; Init and
//                   Quit on the main (GUI) thread
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "standin/player/PlaybackState.h"
#include "standin/player/Playlist.h"

namespace standin {

enum class HostKind { Standard, Winamp5, Winamp2, Lean, Utf8, Silent, ForeignThread };

// "winamp5", "winamp2", "lean", "utf8", "silent", "foreign-thread".
bool ParseHostKind(const std::string& text, HostKind* kind);
const char* HostKindName(HostKind kind);

// Request 0's answer a kind gives; for Standard and the Winamp kinds the version asked for.
unsigned HostVersion(HostKind kind, unsigned version);
// Whether the kind announces each file with 3003 (and 13003 from 5.3).
bool HostAnnounces(HostKind kind);
// Whether the kind sends its announcements with SendMessageW, as Winamp 5.9x does.
bool HostAnnouncesWide(HostKind kind);

// Answers requests as the kind does, asking standard (the stand-in's full answers) for those it
// passes on. Runs on the thread of the window that received the request.
class HostAnswers {
public:
    using Standard = std::function<LRESULT(WPARAM, LPARAM)>;
    HostAnswers(HostKind kind, const Playlist& playlist, const PlaybackState& state, Standard standard);
    LRESULT Answer(WPARAM wParam, LPARAM lParam);

private:
    LRESULT SharedBuffer(LRESULT answer, LPARAM lParam);

    HostKind kind_;
    const Playlist& playlist_;
    const PlaybackState& state_;
    Standard standard_;
    // The one buffer Winamp 5.9x hands out for 211, 212 and 213, and the UTF-8 title of utf8.
    std::string narrow_;
};

// The window the plug-in is given and the thread that owns it. For Standard and the Winamp kinds
// that is the player's main window; the others make their own window here.
class HostWindow {
public:
    HostWindow(HostKind kind, HWND mainWindow, HostAnswers& answers);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    // hwndParent of the module record.
    HWND PluginParent() const;
    // Runs work on the thread the kind calls Init on (this one, or the window's helper thread).
    void RunOnInitThread(const std::function<void()>& work);
    // The window's thread stops answering for ms, as a host busy elsewhere does (helper threads only;
    // false otherwise).
    bool BlockWindowThread(DWORD ms);

    struct Helper;

private:
    HostKind kind_;
    HWND mainWindow_;
    HostAnswers& answers_;
    HWND fake_ = nullptr;
    std::unique_ptr<Helper> helper_;
};

}  // namespace standin
