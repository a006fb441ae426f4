// SPDX-License-Identifier: MIT
// Text from the network or the disk on a terminal and in JSON.
#include "OutputText.h"

#include <gtest/gtest.h>

using namespace brelvo_cli;

TEST(OutputText, HostileBytesNeitherSteerATerminalNorBreakJson)
{
    const struct {
        std::string in, terminal, json;
    } cases[] = {
        {"kvx_DEMOCAM.bin", "kvx_DEMOCAM.bin", "\"kvx_DEMOCAM.bin\""},
        {"固件/kvx", "固件/kvx", "\"固件/kvx\""},
        {"a\x1b[2Jb", "a\\x1B[2Jb", "\"a\\u001b[2Jb\""},
        {"line\nnext\r\t", "line\\x0Anext\\x0D\\x09", "\"line\\nnext\\r\\t\""},
        {std::string("nul\0x", 5), "nul\\x00x", "\"nul\\u0000x\""},
        {"q\"b\\", "q\"b\\\\", "\"q\\\"b\\\\\""},
        {"\x7f", "\\x7F", "\"\\u007f\""},
        {"\xc2\x9b" "31m", "\\xC2\\x9B31m", "\"\xc2\x9b" "31m\""},   // C1 control: escaped for terminals only
        {"\xff\xfe", "\\xFF\\xFE", "\"\xef\xbf\xbd\xef\xbf\xbd\""},
        {"\xc0\xaf", "\\xC0\\xAF", "\"\xef\xbf\xbd\xef\xbf\xbd\""},   // overlong '/'
        {"\xed\xa0\x80", "\\xED\\xA0\\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""}, // surrogate
        {"\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
        {"end\xe4\xbd", "end\\xE4\\xBD", "\"end\xef\xbf\xbd\xef\xbf\xbd\""}, // cut short
        {"\xf0\x9f\x93\xb7", "\xf0\x9f\x93\xb7", "\"\xf0\x9f\x93\xb7\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(terminalSafe(c.in), c.terminal) << c.in;
        EXPECT_EQ(jsonString(c.in), c.json) << c.in;
    }
}
