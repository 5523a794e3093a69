// A user who opens and closes the settings sheet and the main window now and then during a
// long broadcast. Step runs on the player's main thread outside any modal loop; Tick runs from
// a thread timer, also inside the sheet's own modal loop, and closes the sheet with Cancel.
#pragma once

#include <windows.h>

#include "tools/soak/PlayerHost.h"

namespace ombrel::test::soak {

class UiChurn {
public:
    UiChurn(PlayerHost& host, DWORD everyMs) : host_(host), everyMs_(everyMs), next_(::GetTickCount() + everyMs) {}

    // Does the next action when it is due: the sheet (which returns once Tick closed it), or
    // closing the main window, which the following Step reopens.
    void Step();
    void Tick();
    // Leaves the main window open (the stop command goes through it).
    void Finish();

    int SheetsOpened() const { return sheets_; }
    int WindowsClosed() const { return windows_; }
    // Cancels that had to be pressed again: the one before had not closed the sheet in a second.
    int CancelsRepeated() const { return cancelsRepeated_; }
    // The longest sheet, from the command to its return, and the longest reopening, in ms.
    DWORD LongestSheetMs() const { return longestSheet_; }
    DWORD LongestReopenMs() const { return longestReopen_; }

private:
    PlayerHost& host_;
    const DWORD everyMs_;
    DWORD next_;
    bool sheetTurn_ = true;
    bool sheetOpen_ = false;
    DWORD sheetCloseAt_ = 0;
    bool windowClosed_ = false;
    DWORD reopenAt_ = 0;
    int sheets_ = 0;
    int windows_ = 0;
    int cancelsRepeated_ = 0;
    int cancelsPosted_ = 0;
    DWORD longestSheet_ = 0;
    DWORD longestReopen_ = 0;
};

}  // namespace ombrel::test::soak
