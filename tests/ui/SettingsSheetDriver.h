// Drives modal dialogs from inside their own message loops, the way a user would: a thread
// timer on the test thread runs a script of steps while the dialog under test is open, and
// message boxes that come up on the way are read and answered. A watchdog cancels everything
// left open when a script stalls, so a failing test never hangs the run.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "win/UniqueAny.h"

namespace ombrel::test {

// Text written as UTF-8 in the tests, as the plug-in's code page 932 bytes or as UTF-16.
std::string Cp932(const char* utf8);
std::wstring Wide(const char* utf8);
std::string Utf8(const std::wstring& wide);

// Visible top-level windows of this thread.
std::vector<HWND> ThreadWindows();
std::string WindowTextA(HWND window);
std::wstring WindowTextW(HWND window);
std::string ClassName(HWND window);

// True when the system code page is Japanese: narrow code page 932 text then shows as written.
bool JapaneseCodePage();

// The code page run (OMBREL_EXPECT_ACP) must really have its code page: false when it has not.
bool RunsUnderTheExpectedCodePage();

// A message box as the user saw it.
struct MessageBoxSeen {
    std::string caption;  // narrow, as GetWindowTextA gives it
    std::string text;
    std::wstring wideText;
    int buttons = 0;      // push buttons in the box
    bool hasIcon = false;
};

class ModalDriver {
public:
    using Ready = std::function<bool()>;
    using Action = std::function<void()>;

    // Message boxes with this caption are recorded and answered with OK.
    explicit ModalDriver(std::string messageBoxCaption);
    ~ModalDriver();
    ModalDriver(const ModalDriver&) = delete;
    ModalDriver& operator=(const ModalDriver&) = delete;

    // Runs action once ready holds and every earlier step has run.
    void When(Ready ready, Action action);

    // Calls body, which is expected to enter a modal loop, with the script running.
    void Run(const std::function<void()>& body, DWORD timeoutMs = 30000);

    bool TimedOut() const { return timedOut_; }
    bool AllStepsRan() const { return next_ == steps_.size(); }
    const std::vector<MessageBoxSeen>& MessageBoxes() const { return boxes_; }

private:
    struct Step {
        Ready ready;
        Action action;
    };
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    void OnTick();
    void AnswerMessageBoxes();
    void CancelEverything();

    std::string boxCaption_;
    std::vector<Step> steps_;
    size_t next_ = 0;
    bool busy_ = false;
    bool timedOut_ = false;
    DWORD start_ = 0;
    DWORD timeout_ = 0;
    std::vector<HWND> answered_;
    std::vector<MessageBoxSeen> boxes_;
    win::UniqueThreadTimer timer_;
};

}  // namespace ombrel::test
