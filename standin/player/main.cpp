// ombrel_player: the player stand-in as a program, for running the plug-in by hand or in scripts.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "standin/player/CommandLine.h"
#include "standin/player/DefaultPlaylist.h"
#include "standin/player/Player.h"
#include "standin/player/PlayerWindow.h"
#include "standin/player/TempFolder.h"
#include "standin/player/WindowCapture.h"

namespace {

constexpr char kPluginWindowTitle[] = "Ombrel DSP plugin";
constexpr int kScriptFieldId = 1044;
constexpr int kRecordLineId = 1060;

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

enum class EventKind { Config, Command, Screenshot, Quit };

struct TimedEvent {
    DWORD atMs;
    EventKind kind;
    int id;
    std::string path;
};

std::vector<TimedEvent> Schedule(const standin::CommandLine& line) {
    std::vector<TimedEvent> events;
    auto ms = [](double seconds) { return DWORD(seconds * 1000.0 + 0.5); };
    if (line.configAfter >= 0) events.push_back({ms(line.configAfter), EventKind::Config, 0, {}});
    for (const standin::TimedCommand& c : line.commands)
        events.push_back({ms(c.seconds), EventKind::Command, c.id, {}});
    for (const standin::TimedScreenshot& shot : line.screenshots)
        events.push_back({ms(shot.seconds), EventKind::Screenshot, 0, shot.path});
    if (line.quitAfter >= 0) events.push_back({ms(line.quitAfter), EventKind::Quit, 0, {}});
    // Events at the same moment keep their command-line order; quit stays last among equals.
    std::stable_sort(events.begin(), events.end(),
                     [](const TimedEvent& a, const TimedEvent& b) { return a.atMs < b.atMs; });
    return events;
}

// False when the event ends the run.
bool Fire(const TimedEvent& event, standin::Player& player) {
    switch (event.kind) {
    case EventKind::Config:
        Say("config: calling the plug-in's Config");
        player.ConfigPlugin();
        return true;
    case EventKind::Command: {
        HWND target = ::FindWindowA(nullptr, kPluginWindowTitle);
        if (target == nullptr) {
            Say("command " + std::to_string(event.id) + ": no window titled \"" +
                kPluginWindowTitle + "\"");
            return true;
        }
        Say("command " + std::to_string(event.id) + ": sending WM_COMMAND");
        ::SendMessageA(target, WM_COMMAND, WPARAM(event.id), 0);
        return true;
    }
    case EventKind::Screenshot: {
        HWND target = ::FindWindowA(nullptr, kPluginWindowTitle);
        std::string error;
        if (target == nullptr) {
            Say("screenshot: no window titled \"" + std::string(kPluginWindowTitle) + "\"");
        } else if (standin::CaptureWindowToBmp(target, event.path, &error)) {
            Say("screenshot: " + event.path);
        } else {
            Say("screenshot failed: " + error);
        }
        return true;
    }
    case EventKind::Quit:
        Say("quit-after reached");
        return false;
    }
    return true;
}

// The script field shows the title the plug-in last sent; scripts compare it with the stream.
// The monitor's recording line says whether the broadcast is recorded.
class FieldWatcher {
public:
    FieldWatcher(int id, const char* label) : id_(id), label_(label) {}
    void Check() {
        HWND window = ::FindWindowA(nullptr, kPluginWindowTitle);
        if (window == nullptr) return;
        char text[1024] = {};
        ::GetDlgItemTextA(window, id_, text, sizeof(text));
        if (seen_ && last_ == text) return;
        seen_ = true;
        last_ = text;
        Say(std::string(label_) + ": " + last_);
    }

private:
    int id_;
    const char* label_;
    bool seen_ = false;
    std::string last_;
};

// Ctrl-C in the console closes the player as its close box would, so the plug-in still gets
// its Quit and saves its settings.
HWND g_playerWindow = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
    if (g_playerWindow) ::PostMessageA(g_playerWindow, WM_CLOSE, 0, 0);
    return TRUE;
}

void RunUntilDone(standin::Player& player, const standin::CommandLine& line) {
    FieldWatcher watcher(kScriptFieldId, "script field");
    FieldWatcher recordLine(kRecordLineId, "record line");
    const std::vector<TimedEvent> events = Schedule(line);
    size_t nextEvent = 0;
    const DWORD start = ::GetTickCount();
    auto finished = [&] {
        return player.CloseRequested() || (line.exitAtEnd && !line.loop && player.PlaylistEnded());
    };
    for (;;) {
        const DWORD now = ::GetTickCount() - start;
        while (nextEvent < events.size() && events[nextEvent].atMs <= now) {
            if (!Fire(events[nextEvent++], player)) return;
        }
        if (finished()) {
            Say(player.CloseRequested() ? "window closed" : "playlist ended, exiting");
            return;
        }
        if (line.watchScript) {
            watcher.Check();
            recordLine.Check();
        }
        DWORD wait = line.watchScript ? 100 : 1000;
        if (nextEvent < events.size()) wait = std::min<DWORD>(wait, events[nextEvent].atMs - now);
        if (standin::PumpUntil(finished, wait) == standin::PumpResult::QuitPosted) {
            Say("quit message received");
            return;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    standin::CommandLine line;
    std::string error;
    if (!standin::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), &line,
                                   &error)) {
        std::fprintf(stderr, "ombrel_player: %s\n\n%s", error.c_str(), standin::UsageText());
        return 2;
    }
    if (line.help) {
        std::printf("%s", standin::UsageText());
        return 0;
    }
    if (line.closeRunning) {
        HWND running = ::FindWindowA(standin::kPlayerWindowClass, nullptr);
        if (running == nullptr) {
            Say("no running player");
            return 1;
        }
        ::PostMessageA(running, WM_CLOSE, 0, 0);
        Say("asked the running player to close");
        return 0;
    }

    std::unique_ptr<standin::TempFolder> folder;
    standin::PlayerOptions options;
    options.files = line.files;
    if (options.files.empty()) {
        folder = std::make_unique<standin::TempFolder>("ombrel-playlist");
        if (folder->IsValid()) options.files = standin::WriteDefaultPlaylist(folder->Path(), &error);
        if (!options.files.empty()) options.wideFiles = standin::WriteUnicodePlaylist(folder->Path(), &error);
        if (options.files.empty()) {
            std::fprintf(stderr, "ombrel_player: cannot write the built-in playlist: %s\n",
                         error.c_str());
            return 2;
        }
    }
    options.realtime = line.realtime;
    options.host = line.host;
    options.version = standin::HostVersion(line.host, line.version);
    options.loop = line.loop;
    options.postNotify = line.postNotify;
    options.verify = line.verify;
    options.settingsFolder = line.settingsFolder;

    standin::Player player(options);
    if (player.Window() == nullptr) {
        std::fprintf(stderr, "ombrel_player: cannot create the main window\n");
        return 2;
    }
    player.SetEventLog(Say);
    g_playerWindow = player.Window();
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    ::ShowWindow(player.Window(), SW_SHOWNOACTIVATE);
    for (int i = 0; i < player.GetPlaylist().Size(); ++i) {
        const standin::PlaylistEntry* e = player.GetPlaylist().At(i);
        Say("playlist " + std::to_string(i + 1) + ": " + e->title +
            (e->read.ok ? "" : " (unreadable: " + e->read.error + ")"));
    }

    if (!line.pluginPath.empty()) {
        if (!player.LoadPlugin(line.pluginPath, &error)) {
            Say("plug-in not loaded: " + error);
            return 1;
        }
        char version[16];
        std::snprintf(version, sizeof(version), "0x%X", unsigned(player.Plugin().HeaderVersion()));
        Say("loaded plug-in " + line.pluginPath + ": \"" + player.Plugin().HeaderDescription() +
            "\", module \"" + player.Plugin().ModuleDescription() + "\", header version " +
            version);
    }

    player.Play();
    RunUntilDone(player, line);
    player.Stop();
    if (player.Plugin().IsLoaded()) {
        player.UnloadPlugin();
        Say("quit: plug-in unloaded");
    }

    const standin::StatisticsSnapshot stats = player.Stats();
    Say("blocks " + std::to_string(stats.blocks) + ", frames " + std::to_string(stats.frames) +
        ", tracks announced " + std::to_string(stats.tracksAnnounced) + ", count mismatches " +
        std::to_string(stats.countMismatches) + ", modified blocks " +
        std::to_string(stats.modifiedBlocks));
    const bool faulty = stats.countMismatches != 0 || (line.verify && stats.modifiedBlocks != 0);
    return faulty ? 3 : 0;
}
