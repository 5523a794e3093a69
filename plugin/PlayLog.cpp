#include "plugin/PlayLog.h"

#include <cstdio>
#include <memory>

#include "plugin/PlaylistEntry.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"

namespace ombrel {
namespace {

struct FileCloser {
    void operator()(FILE* file) const noexcept { std::fclose(file); }
};
using UniqueCFile = std::unique_ptr<FILE, FileCloser>;

}  // namespace

std::string FormatPlayLogLine(const SYSTEMTIME& t, const char* title) {
    const int size = std::snprintf(nullptr, 0, "%04d/%02d/%02d %02d:%02d:%02d > %s\r\n", t.wYear, t.wMonth, t.wDay,
                                   t.wHour, t.wMinute, t.wSecond, title ? title : "");
    if (size <= 0) return std::string();
    std::string line(static_cast<size_t>(size) + 1, '\0');
    std::snprintf(line.data(), line.size(), "%04d/%02d/%02d %02d:%02d:%02d > %s\r\n", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond, title ? title : "");
    line.resize(static_cast<size_t>(size));
    return line;
}

void AppendPlayLog() {
    PlaylistEntry entry;
    ReadPlaylistEntry(_hwndHost, &entry);
    AppendPlayLogLine(entry.titleAnsi);
}

void AppendPlayLogLine(const std::string& title) {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const std::string line = FormatPlayLogLine(now, title.c_str());

    UniqueCFile file(std::fopen(_settings.extra._cPlayLog.c_str(), "ab"));
    if (!file) return;
    std::fwrite(line.data(), 1, line.size(), file.get());
}

}  // namespace ombrel
