#include "plugin/IniFile.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace ombrel {
namespace {

constexpr int64_t kMaxMagnitude = 0xFFFFFFFFll;

void CopyCut(char (&buffer)[IniFile::kNameChars], const char* text) {
    snprintf(buffer, sizeof buffer, "%s", text ? text : "");
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

void IniFile::SetFile(const char* path) { CopyCut(path_, path); }

void IniFile::SetSection(const char* name) { CopyCut(section_, name); }

const char* IniFile::ReadString(const char* key, const char* fallback) {
    const DWORD got = GetPrivateProfileStringA(section_, key, fallback, value_, kValueChars, path_);
    lastStringCut_ = got >= kValueChars - 1 && StoredLongerThan(key, got);
    return value_;
}

// A full buffer may hold the whole value or its start: one character more room tells.
bool IniFile::StoredLongerThan(const char* key, DWORD length) const {
    std::vector<char> probe(static_cast<size_t>(length) + 2);
    const DWORD got =
        GetPrivateProfileStringA(section_, key, "", probe.data(), static_cast<DWORD>(probe.size()), path_);
    return got > length;
}

int64_t IniFile::ReadNumber(const char* key, const char* fallbackText) {
    char number[kNumberChars] = "";
    GetPrivateProfileStringA(section_, key, fallbackText, number, kNumberChars, path_);
    return ParseDecimal(number);
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
    char text[kNumberChars] = "";
    GetPrivateProfileStringA(section_, key, fallback ? "true" : "false", text, kNumberChars, path_);
    if (strcmp(text, "true") == 0) return true;
    if (strcmp(text, "false") == 0) return false;
    return fallback;
}

bool IniFile::WriteString(const char* key, const char* text) {
    return WritePrivateProfileStringA(section_, key, text, path_) != 0;
}

bool IniFile::WriteUInt(const char* key, DWORD value) {
    char text[16];
    snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
    return WriteString(key, text);
}

bool IniFile::WriteBool(const char* key, bool flag) { return WriteString(key, flag ? "true" : "false"); }

}  // namespace ombrel
