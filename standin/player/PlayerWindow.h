// The player's top-level main window ("Winamp v1.x"): the plug-in finds it through
// hwndParent, sends its requests to it and hooks its thread.
#pragma once

#include <windows.h>

#include "win/UniqueAny.h"

namespace standin {

constexpr char kPlayerWindowClass[] = "Winamp v1.x";

// What the window procedure hands on; runs on the window's thread.
class PlayerWindowHandler {
public:
    virtual LRESULT OnPlayerRequest(WPARAM wParam, LPARAM lParam) = 0;
    virtual void OnTrackStarted(int index, LPARAM run) = 0;
    virtual void OnPlaylistEnded(LPARAM run) = 0;
    virtual void OnCloseRequested() = 0;

protected:
    ~PlayerWindowHandler() = default;
};

class PlayerWindow {
public:
    PlayerWindow(PlayerWindowHandler& handler, const char* title);
    HWND Handle() const { return window_.get(); }

private:
    static bool RegisterClassOnce();
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    PlayerWindowHandler& handler_;
    win::UniqueWindow window_;
};

}  // namespace standin
