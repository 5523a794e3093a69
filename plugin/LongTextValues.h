// Text settings stored longer than a read of the settings file can take. The plug-in works
// with the start it read; until the user changes such a setting, a save leaves the stored
// value alone instead of cutting it down to that start.
#pragma once

#include <string>
#include <vector>

namespace ombrel {

// One text setting in the form the file holds it.
struct StoredText {
    const char* section;
    const char* key;
    std::string text;
};

class LongTextValues {
public:
    // After a load from path: the settings whose reads were cut, in the forms the loaded
    // values would be saved in. Replaces what an earlier load left.
    void Remember(const std::wstring& path, const std::vector<StoredText>& cutForms);
    void Forget();

    // Whether a save to path must skip this value. A changed value is to be written, and
    // from then on the file holds all of it.
    bool KeepStored(const std::wstring& path, const StoredText& form);

private:
    std::wstring path_;
    std::vector<StoredText> unchanged_;
};

}  // namespace ombrel
