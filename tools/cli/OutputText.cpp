// SPDX-License-Identifier: MIT
#include "OutputText.h"

#include <cstdint>
#include <cstdio>

namespace brelvo_cli {

namespace {

// The length of the valid UTF-8 sequence at `i` (1 to 4), or 0 when the
// byte there starts none: overlong forms, surrogates and values beyond
// U+10FFFF do not count.
size_t utf8Length(const std::string& s, size_t i)
{
    const auto byte = [&s](size_t k) { return static_cast<uint8_t>(s[k]); };
    const uint8_t b = byte(i);
    if (b < 0x80)
        return 1;
    size_t n;
    uint32_t cp, min;
    if ((b & 0xE0) == 0xC0) {
        n = 2, cp = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        n = 3, cp = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        n = 4, cp = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

std::string hexEscape(uint8_t b, const char* format)
{
    char text[8];
    std::snprintf(text, sizeof text, format, b);
    return text;
}

} // namespace

std::string terminalSafe(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const uint8_t b = static_cast<uint8_t>(bytes[i]);
        const size_t n = utf8Length(bytes, i);
        if (b == '\\') {
            out += "\\\\";
            i += 1;
        } else if (n == 0 || b < 0x20 || b == 0x7F) {
            out += hexEscape(b, "\\x%02X");
            i += 1;
        } else if (n == 2 && b == 0xC2 && static_cast<uint8_t>(bytes[i + 1]) < 0xA0) {
            // C1 control characters (U+0080..U+009F) steer terminals too.
            out += hexEscape(b, "\\x%02X") + hexEscape(static_cast<uint8_t>(bytes[i + 1]), "\\x%02X");
            i += 2;
        } else {
            out.append(bytes, i, n);
            i += n;
        }
    }
    return out;
}

std::string jsonString(const std::string& bytes)
{
    std::string out = "\"";
    for (size_t i = 0; i < bytes.size();) {
        const uint8_t b = static_cast<uint8_t>(bytes[i]);
        const size_t n = utf8Length(bytes, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            i += 1;
            continue;
        }
        switch (b) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (b < 0x20 || b == 0x7F)
                out += hexEscape(b, "\\u%04x");
            else
                out.append(bytes, i, n);
        }
        i += n;
    }
    return out + "\"";
}

} // namespace brelvo_cli
