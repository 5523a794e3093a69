#include "plugin/IniFile.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace ombrel {
namespace {

constexpr int64_t kMaxMagnitude = 0xFFFFFFFFll;

// The private-profile functions' own conversion: the system code page both ways.
std::wstring Wide(const char* text) {
    if (!text || !*text) return std::wstring();
    const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units <= 1) return std::wstring();
    std::vector<wchar_t> wide(static_cast<size_t>(units));
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), units);
    return std::wstring(wide.data());
}

std::string Ansi(const wchar_t* text, size_t units) {
    if (units == 0) return std::string();
    const int bytes =
        WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(units), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string ansi(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(units), &ansi[0], bytes, nullptr, nullptr);
    return ansi;
}

// The start of text that fits in bytes, never half a double-byte character.
size_t FittingBytes(const std::string& text, size_t bytes) {
    size_t end = 0;
    while (end < text.size()) {
        const size_t next = end + (IsDBCSLeadByte(static_cast<BYTE>(text[end])) && end + 1 < text.size() ? 2 : 1);
        if (next > bytes) break;
        end = next;
    }
    return end;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

int64_t ParseDecimal(const char* text) {
    const char* p = text;
    while (IsBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        // Saturate before the 64-bit accumulator could overflow on a long run of digits.
        if (magnitude > kMaxMagnitude) magnitude = kMaxMagnitude;
    }
    return negative ? -magnitude : magnitude;
}

void IniFile::SetFile(const char* path) { path_ = Wide(path); }

void IniFile::SetFile(const std::wstring& path) { path_ = path; }

void IniFile::SetSection(const char* name) {
    char cut[kNameChars];
    snprintf(cut, sizeof cut, "%s", name ? name : "");
    section_ = Wide(cut);
}

std::string IniFile::Read(const char* key, const char* fallback, DWORD units, bool* full) const {
    std::vector<wchar_t> buffer(units);
    const DWORD got = GetPrivateProfileStringW(section_.c_str(), Wide(key).c_str(), Wide(fallback).c_str(),
                                               buffer.data(), units, path_.c_str());
    if (full) *full = got + 1 >= units;
    return Ansi(buffer.data(), got < units ? got : 0);
}

const char* IniFile::ReadString(const char* key, const char* fallback) {
    bool full = false;
    std::string text = Read(key, fallback, kValueChars, &full);
    // A full buffer may hold the whole value or its start: reading with room to spare tells.
    for (DWORD units = kValueChars * 2; full; units *= 2) text = Read(key, fallback, units, &full);
    const size_t kept = FittingBytes(text, kValueChars - 1);
    lastStringCut_ = kept < text.size();
    std::memcpy(value_, text.data(), kept);
    value_[kept] = '\0';
    return value_;
}

int64_t IniFile::ReadNumber(const char* key, const char* fallbackText) {
    return ParseDecimal(Read(key, fallbackText, kNumberChars, nullptr).c_str());
}

DWORD IniFile::ReadUInt(const char* key, DWORD fallback) {
    char fallbackText[16];
    snprintf(fallbackText, sizeof fallbackText, "%u", static_cast<unsigned>(fallback));
    return static_cast<DWORD>(ReadNumber(key, fallbackText));
}

INT32 IniFile::ReadInt(const char* key, INT32 fallback) {
    char fallbackText[16];
    snprintf(fallbackText, sizeof fallbackText, "%+d", static_cast<int>(fallback));
    // Two's complement wrap, as the unsigned reading does: "4294967295" is -1.
    return static_cast<INT32>(static_cast<UINT32>(ReadNumber(key, fallbackText)));
}

bool IniFile::ReadBool(const char* key, bool fallback) {
    const std::string text = Read(key, fallback ? "true" : "false", kNumberChars, nullptr);
    if (text == "true") return true;
    if (text == "false") return false;
    return fallback;
}

bool IniFile::WriteString(const char* key, const char* text) {
    return WritePrivateProfileStringW(section_.c_str(), Wide(key).c_str(), Wide(text).c_str(), path_.c_str()) != 0;
}

bool IniFile::WriteUInt(const char* key, DWORD value) {
    char text[16];
    snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
    return WriteString(key, text);
}

bool IniFile::WriteBool(const char* key, bool flag) { return WriteString(key, flag ? "true" : "false"); }

}  // namespace ombrel
