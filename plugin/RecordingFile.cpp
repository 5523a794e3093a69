#include "plugin/RecordingFile.h"

#include <shlobj.h>

#include "plugin/Settings.h"

namespace ombrel {
namespace {

// Beyond this many recordings started within one second something else is wrong.
constexpr int kMostSuffixes = 999;

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring WithSuffix(const std::wstring& name, int suffix) {
    if (suffix < 2) return name;
    const size_t dot = name.rfind(L'.');
    return name.substr(0, dot) + L"-" + std::to_wstring(suffix) + name.substr(dot);
}

}  // namespace

std::wstring DefaultArchiveFolder() {
    WCHAR music[MAX_PATH] = L"";
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_MYMUSIC, nullptr, SHGFP_TYPE_CURRENT, music)) && music[0])
        return music;
    const std::string beside = PathBesidePlugin("");
    WCHAR folder[MAX_PATH] = L"";
    if (::MultiByteToWideChar(CP_ACP, 0, beside.c_str(), -1, folder, MAX_PATH) <= 1) return std::wstring();
    std::wstring result(folder);
    if (result.size() > 3 && (result.back() == L'\\' || result.back() == L'/')) result.pop_back();
    return result;
}

std::wstring ArchiveFileName(const SYSTEMTIME& local) {
    std::wstring name = L"ombrel-";
    auto digits = [&](unsigned value, int count) {
        std::wstring part(count, L'0');
        for (int i = count - 1; i >= 0; --i, value /= 10) part[i] = static_cast<WCHAR>(L'0' + value % 10);
        name += part;
    };
    digits(local.wYear, 4);
    digits(local.wMonth, 2);
    digits(local.wDay, 2);
    name += L'-';
    digits(local.wHour, 2);
    digits(local.wMinute, 2);
    digits(local.wSecond, 2);
    return name + L".wma";
}

std::wstring FreeArchivePath(const std::wstring& folder, const SYSTEMTIME& local) {
    if (folder.empty()) return std::wstring();
    std::wstring base = folder;
    if (base.back() != L'\\' && base.back() != L'/') base += L'\\';
    const std::wstring name = ArchiveFileName(local);
    for (int suffix = 1; suffix <= kMostSuffixes; ++suffix) {
        std::wstring path = base + WithSuffix(name, suffix);
        if (!Exists(path)) return path;
    }
    return std::wstring();
}

}  // namespace ombrel
