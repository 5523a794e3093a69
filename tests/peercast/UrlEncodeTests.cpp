// The query-string encoders on ASCII text, which no code page changes.
#include <gtest/gtest.h>

#include <string>

#include "peercast/UrlEncode.h"

namespace ombrel::test {
namespace {

TEST(UrlEncode, AsciiBytes) {
    struct Row {
        const char* text;
        const char* encoded;
    };
    const Row rows[] = {
        {"", ""},                                  // empty text
        {"a b*c", "a+b*c"},                        // space to plus, star kept
        {"50%", "50%25"},                          // percent escaped
        {"~", "%7E"},                              // tilde escaped too
        {"/", "%2F"},                              // slash
        {"AZaz09", "AZaz09"},                      // letters and digits kept
        {"*-._", "*-._"},                          // the four kept marks
        {"&=?#", "%26%3D%3F%23"},                  // query delimiters
        {"\r\n", "%0D%0A"},                        // a line break cannot end the request line
        {"\t\x7F", "%09%7F"},                      // other controls
        {"!\"$'()+,:;<>@[\\]^`{|}",                // every other punctuation mark
         "%21%22%24%27%28%29%2B%2C%3A%3B%3C%3E%40%5B%5C%5D%5E%60%7B%7C%7D"},
        {"  ", "++"},                              // each space on its own
    };
    for (const Row& row : rows) {
        EXPECT_EQ(UrlEncode(row.text), row.encoded) << "text \"" << row.text << "\"";
    }
}

TEST(UrlEncode, AbsentTextGivesEmptyString) {
    EXPECT_EQ(UrlEncode(nullptr), "");
    EXPECT_EQ(UrlEncodeUtf8(nullptr), "");
}

TEST(UrlEncode, Utf8OfAsciiIsTheSame) {
    struct Row {
        const char* text;
        const char* encoded;
    };
    const Row rows[] = {
        {"", ""},                      // empty channel name
        {"Test Ch", "Test+Ch"},        // the worked example's channel
        {"a&b=c", "a%26b%3Dc"},        // delimiters
    };
    for (const Row& row : rows) {
        EXPECT_EQ(UrlEncodeUtf8(row.text), row.encoded) << "text \"" << row.text << "\"";
    }
}

}  // namespace
}  // namespace ombrel::test
