#include "plugin/LongTextValues.h"

#include <windows.h>

#include <cstring>

namespace ombrel {

void LongTextValues::Remember(const std::wstring& path, const std::vector<StoredText>& cutForms) {
    path_ = cutForms.empty() ? std::wstring() : path;
    unchanged_ = cutForms;
}

void LongTextValues::Forget() {
    path_.clear();
    unchanged_.clear();
}

bool LongTextValues::KeepStored(const std::wstring& path, const StoredText& form) {
    if (path_.empty() || lstrcmpiW(path.c_str(), path_.c_str()) != 0) return false;
    for (auto it = unchanged_.begin(); it != unchanged_.end(); ++it) {
        if (std::strcmp(it->section, form.section) != 0 || std::strcmp(it->key, form.key) != 0) continue;
        if (it->text == form.text) return true;
        unchanged_.erase(it);
        return false;
    }
    return false;
}

}  // namespace ombrel
