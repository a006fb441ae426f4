// SPDX-License-Identifier: MIT
#include "record/TextSafety.h"

#include <cstdint>
#include <cstdio>

namespace brelvo {

namespace {

struct Utf8Step {
    uint32_t codePoint = 0;
    size_t length = 1; // bytes taken; for malformed input the ill-formed subsequence
    bool valid = false;
};

// Decodes the sequence at `at` following the table of well-formed byte
// sequences: the second byte's range depends on the lead byte, which is
// what rules out overlong forms, surrogates and values beyond U+10FFFF.
Utf8Step decodeAt(const std::string& s, size_t at)
{
    Utf8Step step;
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
    const uint8_t lead = byte(at);
    if (lead < 0x80) {
        step.codePoint = lead;
        step.valid = true;
        return step;
    }
    int more = 0;
    uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return step; // a continuation byte, C0, C1 or F5..FF as lead
    }
    uint32_t cp = lead & (0x3F >> more);
    size_t taken = 1;
    for (int i = 0; i < more; ++i, low = 0x80, high = 0xBF) {
        if (at + taken >= s.size())
            break;
        const uint8_t b = byte(at + taken);
        if (b < low || b > high)
            break;
        cp = cp << 6 | (b & 0x3Fu);
        ++taken;
    }
    step.length = taken;
    if (taken == static_cast<size_t>(more) + 1) {
        step.codePoint = cp;
        step.valid = true;
    }
    return step;
}

bool isDirectionControl(uint32_t cp)
{
    return cp == 0x061C || cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x2069);
}

// Code points never passed on as they are.
bool needsEscape(uint32_t cp)
{
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || isDirectionControl(cp) || cp == 0x2028 ||
           cp == 0x2029;
}

void appendHex(std::string& out, const char* format, unsigned value)
{
    char text[12];
    std::snprintf(text, sizeof text, format, value);
    out += text;
}

// The escapes shared by csvField and displayText.
void appendVisibleEscape(std::string& out, uint32_t cp)
{
    switch (cp) {
    case '\\': out += "\\\\"; return;
    case '\t': out += "\\t"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    default: break;
    }
    appendHex(out, cp <= 0x7F ? "\\x%02x" : "\\u%04x", cp);
}

const char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD

// Malformed UTF-8 becomes U+FFFD when `replace`, else \xNN per byte.
std::string visibleText(const std::string& bytes, bool replace)
{
    std::string out;
    out.reserve(bytes.size() + 8);
    for (size_t at = 0; at < bytes.size();) {
        const Utf8Step step = decodeAt(bytes, at);
        if (!step.valid) {
            if (replace)
                out += kReplacement;
            else
                for (size_t i = 0; i < step.length; ++i)
                    appendHex(out, "\\x%02x", static_cast<uint8_t>(bytes[at + i]));
        } else if (step.codePoint == '\\' || needsEscape(step.codePoint)) {
            appendVisibleEscape(out, step.codePoint);
        } else {
            out.append(bytes, at, step.length);
        }
        at += step.length;
    }
    return out;
}

} // namespace

std::string csvField(const std::string& bytes)
{
    std::string text = visibleText(bytes, true);
    if (!bytes.empty()) {
        const char first = bytes[0];
        if (first == '=' || first == '+' || first == '-' || first == '@' || first == '\t' || first == '\r')
            text.insert(0, 1, '\'');
    }
    const bool quote = text.find_first_of(",;\"") != std::string::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string displayText(const std::string& bytes) { return visibleText(bytes, false); }

std::string jsonString(const std::string& bytes)
{
    std::string out = "\"";
    out.reserve(bytes.size() + 2);
    for (size_t at = 0; at < bytes.size();) {
        const Utf8Step step = decodeAt(bytes, at);
        const uint32_t cp = step.codePoint;
        if (!step.valid) {
            out += kReplacement;
        } else if (cp == '"' || cp == '\\') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (needsEscape(cp)) {
            switch (cp) {
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: appendHex(out, "\\u%04x", cp); break;
            }
        } else {
            out.append(bytes, at, step.length);
        }
        at += step.length;
    }
    out += '"';
    return out;
}

bool isValidUtf8(const std::string& bytes)
{
    for (size_t at = 0; at < bytes.size();) {
        const Utf8Step step = decodeAt(bytes, at);
        if (!step.valid)
            return false;
        at += step.length;
    }
    return true;
}

} // namespace brelvo
