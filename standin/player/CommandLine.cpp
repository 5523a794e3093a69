#include "standin/player/CommandLine.h"

#include <cerrno>
#include <cstdlib>

namespace standin {
namespace {

bool ParseSeconds(const std::string& text, double* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !(v >= 0) || v > 1e7) return false;
    *out = v;
    return true;
}

bool ParseCommandId(const std::string& text, int* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v < 0 || v > 0xFFFF) return false;
    *out = int(v);
    return true;
}

}  // namespace

bool ParsePlayerVersion(const std::string& text, unsigned* out) {
    if (text.size() < 3 || text[0] < '1' || text[0] > '9' || text[1] != '.') return false;
    for (size_t i = 2; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    const unsigned y = unsigned(text[2] - '0');
    const unsigned x = text.size() > 3 ? unsigned(text[3] - '0') : 0;
    *out = (unsigned(text[0] - '0') << 12) | (y << 4) | x;
    return true;
}

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine* out, std::string* error) {
    CommandLine line;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* v) {
            if (i + 1 >= args.size()) {
                *error = a + " needs a value";
                return false;
            }
            *v = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h" || a == "/?") {
            line.help = true;
        } else if (a == "--plugin") {
            if (!value(&line.pluginPath)) return false;
        } else if (a == "--settings-folder") {
            if (!value(&line.settingsFolder)) return false;
        } else if (a == "--pace") {
            if (!value(&v)) return false;
            if (v != "realtime" && v != "fast") {
                *error = "--pace takes realtime or fast, not " + v;
                return false;
            }
            line.realtime = v == "realtime";
        } else if (a == "--loop") {
            line.loop = true;
        } else if (a == "--quit-after" || a == "--config-after") {
            if (!value(&v)) return false;
            double* target = a == "--quit-after" ? &line.quitAfter : &line.configAfter;
            if (!ParseSeconds(v, target)) {
                *error = a + " takes seconds, not " + v;
                return false;
            }
        } else if (a == "--command") {
            if (!value(&v)) return false;
            const size_t at = v.find('@');
            TimedCommand c;
            if (at == std::string::npos || !ParseCommandId(v.substr(0, at), &c.id) ||
                !ParseSeconds(v.substr(at + 1), &c.seconds)) {
                *error = "--command takes ID@SECONDS, not " + v;
                return false;
            }
            line.commands.push_back(c);
        } else if (a == "--screenshot") {
            if (!value(&v)) return false;
            const size_t at = v.rfind('@');
            TimedScreenshot shot;
            if (at == std::string::npos || at == 0 || !ParseSeconds(v.substr(at + 1), &shot.seconds)) {
                *error = "--screenshot takes FILE@SECONDS, not " + v;
                return false;
            }
            shot.path = v.substr(0, at);
            line.screenshots.push_back(shot);
        } else if (a == "--watch-script") {
            line.watchScript = true;
        } else if (a == "--close-running") {
            line.closeRunning = true;
        } else if (a == "--post-notify") {
            line.postNotify = true;
        } else if (a == "--version") {
            if (!value(&v)) return false;
            if (!ParsePlayerVersion(v, &line.version)) {
                *error = "--version takes a version such as 2.95 or 5.666, not " + v;
                return false;
            }
        } else if (a == "--host") {
            if (!value(&v)) return false;
            if (!ParseHostKind(v, &line.host)) {
                *error = "--host takes winamp5, winamp2, lean, utf8, silent or foreign-thread, not " + v;
                return false;
            }
        } else if (a == "--verify") {
            line.verify = true;
        } else if (a == "--exit-at-end") {
            line.exitAtEnd = true;
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            *error = "unknown option " + a;
            return false;
        } else {
            line.files.push_back(a);
        }
    }
    *out = line;
    return true;
}

const char* UsageText() {
    return "Usage: ombrel_player [options] [FILE.wav ...]\n"
           "Plays WAV files (default: a built-in tagged playlist) as the player does, handing\n"
           "every block to a DSP plug-in.\n"
           "  --plugin PATH         the DSP plug-in DLL (without it the player plays alone)\n"
           "  --settings-folder PATH  the player's settings folder (request 335; default\n"
           "                        %APPDATA%\\Winamp)\n"
           "  --pace realtime|fast  hand on blocks in real time (default) or at once\n"
           "  --loop                start the playlist again after its last track\n"
           "  --exit-at-end         exit when a playlist without --loop ends\n"
           "  --quit-after SECONDS  then Quit the plug-in, unload it and exit\n"
           "  --config-after SECONDS  call the plug-in's Config\n"
           "  --command ID@SECONDS  send WM_COMMAND ID to the window titled \"Ombrel DSP plugin\"\n"
           "                        (repeatable)\n"
           "  --screenshot FILE@SECONDS  write the plug-in's window, as the screen shows it,\n"
           "                        to FILE as a BMP (repeatable)\n"
           "  --watch-script        print each new text of the plug-in window's script field and\n"
           "                        recording line\n"
           "  --close-running       ask the running player to close (as its close box does)\n"
           "  --post-notify         announce tracks (3003) with PostMessage, not SendMessage\n"
           "  --verify              check that the plug-in leaves every block unchanged\n"
           "  --version M.YX        the player version to play (default 5.666, which also\n"
           "                        speaks UTF-16; 2.95 knows only ANSI text)\n"
           "  --host KIND           play a kind of host: winamp5, winamp2, lean (a BASS-based\n"
           "                        player), utf8 (XMPlay, foobar2000's bridge), silent (MPlayer's\n"
           "                        filter), foreign-thread (a DeaDBeeF bridge); see README\n"
           "  --help                this text\n"
           "Exit code: 0 on a clean run; 1 if the plug-in could not be loaded; 2 for a bad\n"
           "command line or playlist; 3 if ModifySamples returned another frame count or, with\n"
           "--verify, changed a block.\n";
}

}  // namespace standin
