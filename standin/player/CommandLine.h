// The ombrel_player command line.
#pragma once

#include <string>
#include <vector>

#include "standin/player/HostProfile.h"

namespace standin {

struct TimedCommand {
    int id = 0;
    double seconds = 0;
};

struct TimedScreenshot {
    std::string path;  // BMP file
    double seconds = 0;
};

struct CommandLine {
    bool help = false;
    std::string pluginPath;
    std::vector<std::string> files;  // empty: the built-in playlist
    bool realtime = true;
    bool loop = false;
    double quitAfter = -1;   // seconds; negative: not asked
    double configAfter = -1;
    std::vector<TimedCommand> commands;
    bool postNotify = false;
    bool verify = false;
    bool exitAtEnd = false;
    std::vector<TimedScreenshot> screenshots;
    bool watchScript = false;   // report each new text of the plug-in window's script field
    bool closeRunning = false;  // ask a running player to close, then exit
    std::string settingsFolder;  // what request 335 names; empty: %APPDATA%\Winamp
    unsigned version = 0x5066;  // request 0's answer: 0xM0yx for version M.yx
    HostKind host = HostKind::Standard;
};

// args without the program name. False with a message for anything it does not understand.
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine* out, std::string* error);

// "2.95" gives 0x2095, "5.666" 0x5066, "5.3" 0x5030: the major version and the first two digits
// after the point, as the player answers request 0.
bool ParsePlayerVersion(const std::string& text, unsigned* out);

const char* UsageText();

}  // namespace standin
