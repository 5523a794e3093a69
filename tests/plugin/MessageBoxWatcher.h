// Closes the message boxes with a given caption from another thread, as a user would, and
// keeps what each one showed.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ombrel::test {

struct SeenMessageBox {
    std::string text;   // the static text (control 0xFFFF)
    bool owned = false;
    bool errorIcon = false;  // the system's error icon in the icon control
};

class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(const char* caption);
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // The boxes closed so far.
    std::vector<SeenMessageBox> Seen();

private:
    void Run();

    std::string caption_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<SeenMessageBox> seen_;
    std::thread thread_;
};

}  // namespace ombrel::test
