// Tag templates: FormatSongInfo agrees with the replacement order written out here (five tags,
// each left to right over the code page's characters, continuing after the inserted value,
// "%d:%02d" lengths); templates full of printf directives stay text; tags whose values hold
// tags, however they multiply, give a bounded text. The same tags handed over in UTF-16 give the
// same text wherever the code page holds them, and UTF-16 tags with unpaired surrogates and
// embedded zeros give a bounded text whose UTF-8 for the nodes is well formed.
#include <windows.h>

#include <climits>
#include <string>

#include "peercast/PeerCastMetadata.h"
#include "plugin/FormatSongInfo.h"
#include "text/CodePageChars.h"
#include "tools/fuzz/CodePageText.h"
#include "tools/fuzz/Targets.h"

namespace ombrel::test::fuzz {
namespace {

constexpr size_t kCap = kMaxFormattedText;
// The model gives up beyond this; the check then asks only for a bounded result.
constexpr size_t kModelLimit = 8 * 1024 * 1024;

const char* const kTags[] = {"%ARTIST%", "%TITLE%", "%COMMENT%", "%ALBUM%", "%LENGTH%"};

const char* const kPieces[] = {
    "%ARTIST%", "%TITLE%", "%COMMENT%", "%ALBUM%", "%LENGTH%",           // the tags
    "%artist%", "%Title%", "%ALBUM", "ALBUM%", "%ART", "IST%", "%%", "%",  // near misses
    "%s", "%n", "%d", "%x", "%*s", "%.99999f", "%1$s", "%ls", "%p%n%n",  // printf directives
    " - ", "/", "\\", " ", "abc", "AB", "\r\n", "\t",
};

std::string ModelLength(INT32 seconds) {
    const long long minutes = static_cast<long long>(seconds) / 60;  // truncates toward zero
    const long long rest = static_cast<long long>(seconds) % 60;    // takes the sign of seconds
    std::string text = std::to_string(minutes) + ":";
    if (rest >= 0 && rest < 10) text += "0";
    return text + std::to_string(rest);
}

// Every non-overlapping occurrence of tag, searched at character starts from left to right,
// replaced; the search goes on after the inserted value. False when the text outgrows limit.
bool ModelReplace(const CodePage& page, const std::string& text, const std::string& tag, const std::string& value,
                  std::string* out) {
    out->clear();
    for (size_t i = 0; i < text.size();) {
        if (text.compare(i, tag.size(), tag) == 0) {
            *out += value;
            i += tag.size();
        } else {
            const bool pair = page.IsLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size() &&
                              page.IsTrail(static_cast<unsigned char>(text[i + 1]));
            const size_t bytes = pair ? 2 : 1;
            out->append(text, i, bytes);
            i += bytes;
        }
        if (out->size() > kModelLimit) return false;
    }
    return true;
}

struct ModelResult {
    bool computed = false;     // within the model's limit
    bool everWide = false;     // some step's text was longer than the cap
    std::string text;
};

ModelResult Model(const CodePage& page, const std::string& format, const std::string values[5], INT32 length) {
    ModelResult result;
    std::string text = format;
    result.everWide = text.size() > kCap;
    for (int step = 0; step < 5; ++step) {
        std::string next;
        if (!ModelReplace(page, text, kTags[step], step == 4 ? ModelLength(length) : values[step], &next))
            return result;
        text.swap(next);
        if (text.size() > kCap) result.everWide = true;
    }
    result.computed = true;
    result.text = std::move(text);
    return result;
}

// Text made of template pieces and characters of the code page, a lone lead byte now and then.
std::string RandomTemplateText(Random& random, const CodePage& page, size_t maxBytes) {
    std::string text;
    const size_t target = random.Length(maxBytes);
    while (text.size() < target) {
        const uint32_t kind = random.Below(10);
        if (kind < 5) text += random.Pick(kPieces);
        else if (kind < 9) text += RandomCharacter(random, page, "");
        else text += static_cast<char>(random.Between(0x81, 0x9F));  // a lead byte without its trail
    }
    if (text.size() > maxBytes) text.resize(maxBytes);
    return text;
}

// A value that is a later field's tag again and again, so each step multiplies the text.
std::string RepeatedTag(Random& random, int field, size_t maxBytes) {
    const int later = random.Between(field + 1, 4);
    const std::string tag = kTags[later];
    std::string text;
    for (size_t n = random.Between(1, static_cast<int>(maxBytes / tag.size())); n > 0; --n) text += tag;
    return text;
}

INT32 RandomLength(Random& random) {
    const INT32 special[] = {0, -1, 59, 60, 61, 245, 3600, -60, -61, INT_MIN, INT_MAX, INT_MIN + 1};
    switch (random.Below(3)) {
        case 0: return random.Pick(special);
        case 1: return random.Between(-100000, 100000);
        default: return static_cast<INT32>(random.Next());
    }
}

Case Generate(Random& random) {
    const CodePage& page = ActiveCodePage();
    Case c;
    const uint32_t mode = random.Below(10);
    if (mode < 6) {  // ordinary templates and tags
        c.texts.push_back(RandomTemplateText(random, page, 300));
        for (int field = 0; field < 4; ++field) c.texts.push_back(RandomTemplateText(random, page, 60));
    } else if (mode < 8) {  // long templates, values up to the player's 1023 bytes
        c.texts.push_back(RandomTemplateText(random, page, random.OneIn(4) ? 80000 : 4095));
        for (int field = 0; field < 4; ++field) c.texts.push_back(RandomTemplateText(random, page, 1023));
    } else {  // tags that hold tags that hold tags
        std::string format;
        for (size_t n = random.Length(511) + 1; n > 0; --n) format += kTags[random.Below(2)];
        c.texts.push_back(format);
        for (int field = 0; field < 4; ++field) {
            // Field order of the texts: artist, title, comment, album; each names later ones.
            c.texts.push_back(random.OneIn(5) ? RandomTemplateText(random, page, 60) : RepeatedTag(random, field, 1023));
        }
    }
    c.numbers.push_back(RandomLength(random));
    return c;
}

// The code page's text as UTF-16, with an unpaired surrogate or a zero in place of every
// thirteenth unit: what no ANSI answer can carry.
std::wstring Roughened(UINT codePage, const std::string& text) {
    static const wchar_t kOdd[] = {0xD800, 0xDFFF, L'\0', 0xD83C};
    std::wstring wide = SystemCodePageToWide(codePage, text.data(), text.size());
    for (size_t i = 12; i < wide.size(); i += 13) wide[i] = kOdd[(i / 13) % 4];
    return wide;
}

size_t CodePageBytes(UINT codePage, const std::wstring& text) {
    size_t bytes = 0;
    for (size_t at = 0; at < text.size();) {
        const size_t units = WideCharUnitsAt(text.data(), text.size(), at);
        bytes += CodePageBytesOf(codePage, text.data() + at, units);
        at += units;
    }
    return bytes;
}

Verdict CheckUnicode(const Case& c, const SongInfo& ansi, const std::string& ansiOut) {
    const UINT codePage = ::GetACP();
    std::wstring SongInfo::*const wideFields[] = {&SongInfo::artistW, &SongInfo::titleW, &SongInfo::commentW,
                                                  &SongInfo::albumW};
    const std::string SongInfo::*const ansiFields[] = {&SongInfo::artist, &SongInfo::title, &SongInfo::comment,
                                                       &SongInfo::album};
    SongInfo same = ansi;
    same.unicode = true;
    const std::wstring format = SystemCodePageToWide(codePage, c.texts[0].data(), c.texts[0].size());
    bool held = WideToCodePage(codePage, format.data(), format.size()) == c.texts[0];
    for (int i = 0; i < 4; ++i) {
        const std::string& text = ansi.*ansiFields[i];
        std::wstring& wide = same.*wideFields[i];
        wide = SystemCodePageToWide(codePage, text.data(), text.size());
        held = held && WideToCodePage(codePage, wide.data(), wide.size()) == text;
    }
    if (held) {
        const std::wstring out = FormatSongInfoW(c.texts[0], same);
        if (out != SystemCodePageToWide(codePage, ansiOut.data(), ansiOut.size()))
            return Broken("unicode agrees", "the UTF-16 tags gave another text than the ANSI ones");
    }
    SongInfo rough;
    rough.unicode = true;
    rough.length = ansi.length;
    for (int i = 0; i < 4; ++i) rough.*wideFields[i] = Roughened(codePage, ansi.*ansiFields[i]);
    const std::wstring out = FormatSongInfoW(c.texts[0], rough);
    if (CodePageBytes(codePage, out) > kCap)
        return Broken("unicode bounded", "a UTF-16 text of " + std::to_string(out.size()) + " units");
    const std::string utf8 = PeerCastUtf8Value(out);
    if (!utf8.empty() &&
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), nullptr, 0) == 0)
        return Broken("well-formed UTF-8", Quote(utf8, 60));
    return Holds();
}

Verdict Check(const Case& c) {
    const CodePage& page = ActiveCodePage();
    if (c.texts.size() != 5) return Holds();  // shrinking leaves all five; nothing else is a case
    const INT32 length = c.numbers.empty() ? 0 : static_cast<INT32>(c.numbers[0]);
    SongInfo info;
    info.artist = c.texts[1];
    info.title = c.texts[2];
    info.comment = c.texts[3];
    info.album = c.texts[4];
    info.length = length;

    const std::string lengthText = FormatLength(length);
    if (lengthText != ModelLength(length))
        return Broken("length text", "gave " + Quote(lengthText) + ", \"%d:%02d\" gives " + Quote(ModelLength(length)));

    const std::string out = FormatSongInfo(c.texts[0], info);
    if (out.size() > kCap) return Broken("bounded", "a text of " + std::to_string(out.size()) + " bytes");
    const Verdict unicode = CheckUnicode(c, info, out);
    if (unicode.failed()) return unicode;

    const std::string values[5] = {info.artist, info.title, info.comment, info.album, ""};
    const ModelResult model = Model(page, c.texts[0], values, length);
    if (!model.computed) return Holds();  // beyond the model's reach: bounded is all there is
    if (!model.everWide) {
        if (out != model.text)
            return Broken("model", "gave " + Quote(out) + ", the replacements give " + Quote(model.text));
        return Holds();
    }
    // Cut short: what came out is the start of the full text, perhaps followed by the start of
    // a tag that the cut left incomplete.
    size_t same = 0;
    while (same < out.size() && same < model.text.size() && out[same] == model.text[same]) ++same;
    // The incomplete tag may begin a few bytes back, where the full text happens to go on alike.
    const size_t lowest = same > 8 ? same - 8 : 0;
    for (size_t start = same + 1; start-- > lowest;) {
        const std::string rest = out.substr(start);
        if (rest.empty()) return Holds();
        for (const std::string tag : kTags) {
            if (rest.size() < tag.size() && tag.compare(0, rest.size(), rest) == 0) return Holds();
        }
    }
    return Broken("cut prefix", "after " + std::to_string(same) + " bytes of the full text it gave " +
                                    Quote(out.substr(same), 60) + " where the full text has " +
                                    Quote(model.text.substr(same), 60));
}

}  // namespace

Target FormatSongInfoTarget() {
    Target t;
    t.name = "FormatSongInfo";
    t.textNames = {"format", "artist", "title", "comment", "album"};
    t.numbersName = "length";
    t.generate = Generate;
    t.check = Check;
    t.setUp = [] { return ThreadUsesActiveCodePage("FormatSongInfo"); };
    return t;
}

}  // namespace ombrel::test::fuzz
