// One private-profile file and section at a time. Keys and values are ANSI text, stored in the
// file as the system code page's bytes; the file is named by its UTF-16 path, so a folder whose
// name the code page cannot hold still works.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace ombrel {

class IniFile {
public:
    IniFile() = default;
    virtual ~IniFile() = default;

    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    // An ANSI path is taken in the system code page, as the ANSI file functions take it.
    void SetFile(const char* path);
    void SetFile(const std::wstring& path);
    // Cut to 259 characters.
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
    // The stored value (or the fallback) in ANSI text, read through a buffer of units characters;
    // *full tells that the buffer was filled, so the value may go on.
    std::string Read(const char* key, const char* fallback, DWORD units, bool* full) const;

    std::wstring section_ = L"ApplicationData";
    std::wstring path_;
    char value_[kValueChars] = "";
    bool lastStringCut_ = false;
};

// Leading blanks and one sign, then digits up to the first other character; none gives 0.
// The magnitude saturates at 4294967295, so every "%u" text reads back exactly.
int64_t ParseDecimal(const char* text);

}  // namespace ombrel
