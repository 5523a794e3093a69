#include "text/CodePageChars.h"

namespace ombrel {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

// Bytes a UTF-8 sequence starting with lead has when well formed; 1 for a byte no sequence
// starts with (continuation bytes, C0, C1, F5 to FF).
size_t Utf8SequenceBytes(BYTE lead) {
    if (lead < 0xC2) return 1;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    if (lead < 0xF5) return 4;
    return 1;
}

size_t LeadClaim(UINT codePage, BYTE lead) {
    if (codePage == CP_UTF8) return Utf8SequenceBytes(lead);
    return ::IsDBCSLeadByteEx(codePage, lead) ? 2 : 1;
}

// The UTF-16 units of the one character of bytes bytes at text, or 0 when they are not one.
int ConvertsWhole(UINT codePage, const char* text, size_t bytes, WCHAR (&out)[2]) {
    return ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, static_cast<int>(bytes), out, 2);
}

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

size_t CharBytesAt(UINT codePage, const char* text, size_t length, size_t at) {
    const BYTE lead = static_cast<BYTE>(text[at]);
    if (lead < 0x80) return 1;
    const size_t claim = LeadClaim(codePage, lead);
    if (at + claim > length) return 1;
    WCHAR wide[2];
    return ConvertsWhole(codePage, text + at, claim, wide) ? claim : 1;
}

size_t ClaimedBytesAt(UINT codePage, const char* text, size_t length, size_t at) {
    const BYTE lead = static_cast<BYTE>(text[at]);
    if (lead < 0x80) return 1;
    const size_t claim = LeadClaim(codePage, lead);
    return at + claim > length ? length - at : claim;
}

size_t WholeCharPrefix(UINT codePage, const char* text, size_t length, size_t limit) {
    if (length <= limit) return length;
    size_t end = 0;
    while (end < limit) {
        const size_t next = end + CharBytesAt(codePage, text, length, end);
        if (next > limit) break;
        end = next;
    }
    return end;
}

std::wstring CodePageToWide(UINT codePage, const char* text, size_t length) {
    std::wstring wide;
    wide.reserve(length);
    for (size_t at = 0; at < length;) {
        const BYTE lead = static_cast<BYTE>(text[at]);
        if (lead < 0x80) {
            wide += static_cast<wchar_t>(lead);
            ++at;
            continue;
        }
        const size_t bytes = CharBytesAt(codePage, text, length, at);
        WCHAR one[2];
        const int units = ConvertsWhole(codePage, text + at, bytes, one);
        if (units > 0) {
            wide.append(one, static_cast<size_t>(units));
        } else {
            wide += kReplacement;
        }
        at += bytes;
    }
    return wide;
}

std::wstring SystemCodePageToWide(UINT codePage, const char* text, size_t length) {
    if (length == 0) return std::wstring();
    const int bytes = static_cast<int>(length);
    const int units = ::MultiByteToWideChar(codePage, 0, text, bytes, nullptr, 0);
    if (units <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(units), L'\0');
    ::MultiByteToWideChar(codePage, 0, text, bytes, &out[0], units);
    return out;
}

std::string WideToCodePage(UINT codePage, const wchar_t* text, size_t length) {
    if (length == 0) return std::string();
    const int units = static_cast<int>(length);
    const int bytes = ::WideCharToMultiByte(codePage, 0, text, units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string out(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(codePage, 0, text, units, &out[0], bytes, nullptr, nullptr);
    return out;
}

std::string WideToUtf8(const wchar_t* text, size_t length) {
    // The system's own conversion of a lone surrogate differs between versions; this one is fixed.
    std::wstring clean;
    clean.reserve(length);
    for (size_t at = 0; at < length;) {
        const size_t units = WideCharUnitsAt(text, length, at);
        if (units == 1 && (IsHighSurrogate(text[at]) || IsLowSurrogate(text[at]))) {
            clean += kReplacement;
        } else {
            clean.append(text + at, units);
        }
        at += units;
    }
    return WideToCodePage(CP_UTF8, clean.data(), clean.size());
}

size_t WideCharUnitsAt(const wchar_t* text, size_t length, size_t at) {
    return IsHighSurrogate(text[at]) && at + 1 < length && IsLowSurrogate(text[at + 1]) ? 2 : 1;
}

size_t CodePageBytesOf(UINT codePage, const wchar_t* character, size_t units) {
    if (units == 1 && character[0] < 0x80) return 1;
    const int bytes =
        ::WideCharToMultiByte(codePage, 0, character, static_cast<int>(units), nullptr, 0, nullptr, nullptr);
    return bytes > 0 ? static_cast<size_t>(bytes) : 1;
}

size_t WideCharPrefix(UINT codePage, const wchar_t* text, size_t length, size_t limit) {
    size_t end = 0;
    size_t taken = 0;
    while (end < length) {
        const size_t units = WideCharUnitsAt(text, length, end);
        const size_t bytes = CodePageBytesOf(codePage, text + end, units);
        if (taken + bytes > limit) break;
        taken += bytes;
        end += units;
    }
    return end;
}

}  // namespace ombrel
