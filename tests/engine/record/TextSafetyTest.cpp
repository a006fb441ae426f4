// SPDX-License-Identifier: MIT
// Hostile product codes through the three ways the engine writes text.
#include "record/TextSafety.h"

#include <gtest/gtest.h>

using namespace brelvo;

namespace {

const std::string kFffd = "\xEF\xBF\xBD";

struct Case {
    std::string bytes, csv, display, json;
};

} // namespace

TEST(TextSafety, HostileProductCodes)
{
    using std::string;
    const Case cases[] = {
        {"ABCDEFG", "ABCDEFG", "ABCDEFG", "\"ABCDEFG\""},
        {"", "", "", "\"\""},
        // Formula prefixes.
        {"=1+1", "'=1+1", "=1+1", "\"=1+1\""},
        {"+SUM(A1)", "'+SUM(A1)", "+SUM(A1)", "\"+SUM(A1)\""},
        {"-2+3", "'-2+3", "-2+3", "\"-2+3\""},
        {"@cmd", "'@cmd", "@cmd", "\"@cmd\""},
        {"\tX", "'\\tX", "\\tX", "\"\\tX\""},
        {"\r=1", "'\\r=1", "\\r=1", "\"\\r=1\""},
        {"A=1", "A=1", "A=1", "\"A=1\""},
        // Separators, quotes, spaces.
        {"a\"b", "\"a\"\"b\"", "a\"b", "\"a\\\"b\""},
        {"a,b", "\"a,b\"", "a,b", "\"a,b\""},
        {"a;b", "\"a;b\"", "a;b", "\"a;b\""},
        {" lead", "\" lead\"", " lead", "\" lead\""},
        {"trail ", "\"trail \"", "trail ", "\"trail \""},
        {"=a,\"b", "\"'=a,\"\"b\"", "=a,\"b", "\"=a,\\\"b\""},
        {"back\\slash", "back\\\\slash", "back\\\\slash", "\"back\\\\slash\""},
        // Line breaks and other controls.
        {"CR\rLF\nCRLF\r\n", "CR\\rLF\\nCRLF\\r\\n", "CR\\rLF\\nCRLF\\r\\n", "\"CR\\rLF\\nCRLF\\r\\n\""},
        {string("AB\0CD", 5), "AB\\x00CD", "AB\\x00CD", "\"AB\\u0000CD\""},
        {"\x1b[31mRED", "\\x1b[31mRED", "\\x1b[31mRED", "\"\\u001b[31mRED\""},
        {"\b\f\x7f", "\\x08\\x0c\\x7f", "\\x08\\x0c\\x7f", "\"\\b\\f\\u007f\""},
        {"\xC2\x85NEL\xC2\x9B", "\\u0085NEL\\u009b", "\\u0085NEL\\u009b", "\"\\u0085NEL\\u009b\""},
        // Direction controls and separators.
        {"\xE2\x80\xAEGFEDCBA", "\\u202eGFEDCBA", "\\u202eGFEDCBA", "\"\\u202eGFEDCBA\""},
        {"\xD8\x9C\xE2\x80\x8E\xE2\x80\x8F\xE2\x80\xAA\xE2\x81\xA6\xE2\x81\xA9",
         "\\u061c\\u200e\\u200f\\u202a\\u2066\\u2069", "\\u061c\\u200e\\u200f\\u202a\\u2066\\u2069",
         "\"\\u061c\\u200e\\u200f\\u202a\\u2066\\u2069\""},
        {"a\xE2\x80\xA8" "b\xE2\x80\xA9", "a\\u2028b\\u2029", "a\\u2028b\\u2029", "\"a\\u2028b\\u2029\""},
        // Malformed UTF-8: one U+FFFD per ill-formed subsequence.
        {"\xFF\xFE", kFffd + kFffd, "\\xff\\xfe", "\"" + kFffd + kFffd + "\""},
        {"\xC0\xAF", kFffd + kFffd, "\\xc0\\xaf", "\"" + kFffd + kFffd + "\""},             // overlong '/'
        {"\xE0\x80\xAF", kFffd + kFffd + kFffd, "\\xe0\\x80\\xaf", "\"" + kFffd + kFffd + kFffd + "\""},
        {"\xED\xA0\x80", kFffd + kFffd + kFffd, "\\xed\\xa0\\x80", "\"" + kFffd + kFffd + kFffd + "\""}, // surrogate
        {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd, "\\xf4\\x90\\x80\\x80",
         "\"" + kFffd + kFffd + kFffd + kFffd + "\""},                                      // beyond U+10FFFF
        {"\xE2\x82" "A", kFffd + "A", "\\xe2\\x82A", "\"" + kFffd + "A\""},                 // cut short
        {"A\xF0\x9F\x98", "A" + kFffd, "A\\xf0\\x9f\\x98", "\"A" + kFffd + "\""},             // cut at the end
        {"\x80=", kFffd + "=", "\\x80=", "\"" + kFffd + "=\""},
        {"\xC2\x80", "\\u0080", "\\u0080", "\"\\u0080\""},                                  // C1, not a stray byte
        // Well-formed text beyond ASCII passes.
        {"\xC3\x9Cn\xC3\xAF\xE4\xB8\xAD\xF0\x9F\x98\x80\xEF\xBF\xBF", "\xC3\x9Cn\xC3\xAF\xE4\xB8\xAD\xF0\x9F\x98\x80\xEF\xBF\xBF",
         "\xC3\x9Cn\xC3\xAF\xE4\xB8\xAD\xF0\x9F\x98\x80\xEF\xBF\xBF", "\"\xC3\x9Cn\xC3\xAF\xE4\xB8\xAD\xF0\x9F\x98\x80\xEF\xBF\xBF\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        EXPECT_EQ(csvField(c.bytes), c.csv);
        EXPECT_EQ(displayText(c.bytes), c.display);
        EXPECT_EQ(jsonString(c.bytes), c.json);
    }
}

TEST(TextSafety, EveryByteValueAloneAndAfterALeadByte)
{
    // Each single byte and each two-byte pair: output always valid UTF-8
    // without controls; a byte is valid alone exactly when it is ASCII.
    for (int a = 0; a < 256; ++a) {
        const std::string one(1, static_cast<char>(a));
        EXPECT_EQ(isValidUtf8(one), a < 0x80) << a;
        for (int b = 0; b < 256; ++b) {
            const std::string two = one + static_cast<char>(b);
            for (const std::string& out : {csvField(two), displayText(two), jsonString(two)}) {
                ASSERT_TRUE(isValidUtf8(out)) << a << ' ' << b;
                for (unsigned char c : out)
                    ASSERT_TRUE(c >= 0x20 && c != 0x7F) << a << ' ' << b;
            }
        }
    }
    EXPECT_TRUE(isValidUtf8("\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"));
}
