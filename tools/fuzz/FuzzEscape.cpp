// The description's escapes: unescaping an escaped text gives it back for any bytes; for valid
// text of the code page both agree with the character-wise replacements written out here, and
// the escaped text fits on one line of the settings file.
#include <windows.h>

#include <string>
#include <vector>

#include "plugin/TextEscape.h"
#include "tools/fuzz/CodePageText.h"
#include "tools/fuzz/Targets.h"

namespace ombrel::test::fuzz {
namespace {

const std::string kFavourites = "\\\\\\\n\r\tnrtab ";

using Characters = std::vector<std::string>;

// Each replacement over the whole text, in the stored order: backslashes, line feeds, tabs,
// carriage returns.
std::string ModelEscape(Characters text) {
    const struct {
        const char* from;
        const char* to;
    } steps[] = {{"\\", "\\\\"}, {"\n", "\\n"}, {"\t", "\\t"}, {"\r", "\\r"}};
    for (const auto& step : steps) {
        Characters next;
        for (const std::string& c : text) {
            if (c == step.from) {
                next.push_back(std::string(1, step.to[0]));
                next.push_back(std::string(1, step.to[1]));
            } else {
                next.push_back(c);
            }
        }
        text.swap(next);
    }
    std::string out;
    for (const std::string& c : text) out += c;
    return out;
}

// A backslash is dropped and decides the next character: \\ \n \r \t, anything else kept as
// it is; a backslash at the very end is dropped.
std::string ModelUnescape(const Characters& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != "\\") {
            out += text[i];
            continue;
        }
        if (++i == text.size()) break;
        const std::string& next = text[i];
        if (next == "n") out += '\n';
        else if (next == "r") out += '\r';
        else if (next == "t") out += '\t';
        else out += next;
    }
    return out;
}

Case Generate(Random& random) {
    const CodePage& page = ActiveCodePage();
    Case c;
    switch (random.Below(4)) {
        case 0:
        case 1: c.texts.push_back(RandomText(random, page, 400, kFavourites)); break;
        case 2: c.texts.push_back(RandomBytes(random, 400, kFavourites)); break;
        default: c.texts.push_back(Mutate(random, RandomText(random, page, 40, kFavourites), kFavourites)); break;
    }
    return c;
}

Verdict Check(const Case& c) {
    const CodePage& page = ActiveCodePage();
    const std::string& text = c.texts[0];
    const std::string escaped = EscapeText(text);
    const std::string back = UnescapeText(escaped);
    if (back != text) return Broken("round trip", "escaped " + Quote(escaped) + ", unescaped " + Quote(back));
    if (escaped.size() > 2 * text.size()) return Broken("bounded", "escaping more than doubled the text");
    const std::string unescaped = UnescapeText(text);
    if (unescaped.size() > text.size()) return Broken("bounded", "unescaping made the text longer");

    Characters characters;
    if (!SplitCharacters(page, text, &characters)) return Holds();  // not text of the code page
    if (escaped.find_first_of("\r\n\t") != std::string::npos)
        return Broken("one line", "escaped text keeps a line break or tab: " + Quote(escaped));
    const std::string modelEscaped = ModelEscape(characters);
    if (escaped != modelEscaped)
        return Broken("escape model", "gave " + Quote(escaped) + ", the replacements give " + Quote(modelEscaped));
    const std::string modelUnescaped = ModelUnescape(characters);
    if (unescaped != modelUnescaped)
        return Broken("unescape model",
                      "gave " + Quote(unescaped) + ", walking the characters gives " + Quote(modelUnescaped));
    return Holds();
}

}  // namespace

Target EscapeTarget() {
    Target t;
    t.name = "Escape";
    t.textNames = {"text"};
    t.generate = Generate;
    t.check = Check;
    t.setUp = [] { return ThreadUsesActiveCodePage("Escape"); };
    return t;
}

}  // namespace ombrel::test::fuzz
