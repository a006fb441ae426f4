// SPDX-License-Identifier: MIT
// Hostile product codes through the three ways the engine writes text.
#include "ExpectedText.h"
#include "record/TextSafety.h"

#include <gtest/gtest.h>

using namespace brelvo;

// Each code as shown, as a CSV cell and as JSON: expected/text-safety.txt
// holds the three, tab-separated, one code a line.
TEST(TextSafety, HostileProductCodes)
{
    const std::string cases[] = {
        "ABCDEFG", "",
        // Formula prefixes.
        "=1+1", "+SUM(A1)", "-2+3", "@cmd", "\tX", "\r=1", "A=1",
        // Separators, quotes, spaces.
        "a\"b", "a,b", "a;b", " lead", "trail ", "=a,\"b", "back\\slash",
        // Line breaks and other controls.
        "CR\rLF\nCRLF\r\n", std::string("AB\0CD", 5), "\x1b[31mRED", "\b\f\x7f", "\xC2\x85NEL\xC2\x9B",
        // Direction controls and separators.
        "\xE2\x80\xAEGFEDCBA", "\xD8\x9C\xE2\x80\x8E\xE2\x80\x8F\xE2\x80\xAA\xE2\x81\xA6\xE2\x81\xA9",
        "a\xE2\x80\xA8" "b\xE2\x80\xA9",
        // Malformed UTF-8: one U+FFFD per ill-formed subsequence: overlong '/',
        // overlong, surrogate, beyond U+10FFFF, cut short, cut at the end.
        "\xFF\xFE", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82" "A", "A\xF0\x9F\x98",
        "\x80=", "\xC2\x80", // C1, not a stray byte
        // Well-formed text beyond ASCII passes.
        "\xC3\x9Cn\xC3\xAF\xE4\xB8\xAD\xF0\x9F\x98\x80\xEF\xBF\xBF",
    };
    std::string lines;
    for (const std::string& c : cases)
        lines += displayText(c) + "\t" + csvField(c) + "\t" + jsonString(c) + "\n";
    EXPECT_EQ(brelvo_test::expectedFileDiff(BRELVO_EXPECTED_DIR "/text-safety.txt", lines), "");
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
