// One private-profile file and section at a time, through the narrow Win32 API.
#pragma once

#include <windows.h>

#include <cstdint>

namespace ombrel {

class IniFile {
public:
    IniFile() = default;
    virtual ~IniFile() = default;

    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    // Both copy into fixed buffers, cut to 259 characters.
    void SetFile(const char* path);
    void SetSection(const char* name);

    // The text stays valid until the next ReadString: one shared buffer, values cut to 4095.
    const char* ReadString(const char* key, const char* fallback);
    // Whether the last ReadString gave only the start of a longer stored value.
    bool LastStringWasCut() const { return lastStringCut_; }
    DWORD ReadUInt(const char* key, DWORD fallback);
    INT32 ReadInt(const char* key, INT32 fallback);
    // Only exactly "true" or "false" counts; any other text gives the fallback.
    bool ReadBool(const char* key, bool fallback);

    bool WriteString(const char* key, const char* text);
    bool WriteUInt(const char* key, DWORD value);
    bool WriteBool(const char* key, bool flag);

    static constexpr size_t kNameChars = 260;
    static constexpr size_t kValueChars = 4096;
    static constexpr size_t kNumberChars = 255;

private:
    // The decimal number at the start of the value, with the fallback text as default.
    int64_t ReadNumber(const char* key, const char* fallbackText);
    bool StoredLongerThan(const char* key, DWORD length) const;

    char section_[kNameChars] = "ApplicationData";
    char path_[kNameChars] = "";
    char value_[kValueChars] = "";
    bool lastStringCut_ = false;
};

// Leading blanks and one sign, then digits up to the first other character; none gives 0.
// The magnitude saturates at 4294967295, so every "%u" text reads back exactly.
int64_t ParseDecimal(const char* text);

}  // namespace ombrel
