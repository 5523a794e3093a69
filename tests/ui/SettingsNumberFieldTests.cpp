// What a number field of the settings pages reads as a number.
#include <gtest/gtest.h>

#include <windows.h>

#include "ui/NumberField.h"

namespace ombrel::test {
namespace {

TEST(SettingsNumberField, ParsesUnsignedDecimalsUpTo32Bits) {
    const struct {
        const char* text;
        DWORD value;
    } numbers[] = {
        {"0", 0},
        {"8008", 8008},
        {"007", 7},                          // leading zeros
        {"0000000000000000000042", 42},      // more digits than 32 bits hold, all but two zeros
        {"4294967295", 4294967295u},         // the largest
    };
    for (const auto& number : numbers) {
        DWORD value = 0xDEADBEEF;
        EXPECT_TRUE(ombrel::ParseUnsignedDecimal(number.text, &value)) << number.text;
        EXPECT_EQ(number.value, value) << number.text;
    }
}

TEST(SettingsNumberField, RefusesEverythingElseAndLeavesTheValue) {
    const char* const texts[] = {
        "",             // empty
        "4294967296",   // one over 32 bits
        "18446744073709551617",  // over 64 bits: no wrap-around to a small number
        "-1", "+1",     // signs
        " 1", "1 ",     // blanks
        "1.5", "1,000", "0x10", "12a",
        "１",           // a full-width digit
    };
    for (const char* text : texts) {
        DWORD value = 0xDEADBEEF;
        EXPECT_FALSE(ombrel::ParseUnsignedDecimal(text, &value)) << text;
        EXPECT_EQ(0xDEADBEEFu, value) << text;
    }
    DWORD value = 0xDEADBEEF;
    EXPECT_FALSE(ombrel::ParseUnsignedDecimal(nullptr, &value));
    EXPECT_EQ(0xDEADBEEFu, value);
}

}  // namespace
}  // namespace ombrel::test
