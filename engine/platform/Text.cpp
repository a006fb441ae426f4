// SPDX-License-Identifier: MIT
#include "platform/Text.h"

#include <cctype>

namespace brelvo {

std::string mid(const std::string& s, size_t start, size_t count)
{
    if (start >= s.size())
        return std::string();
    return s.substr(start, count);
}

int replaceAll(std::string& s, const std::string& from, const std::string& to)
{
    if (from.empty())
        return 0;
    int n = 0;
    std::string out;
    size_t pos = 0;
    for (;;) {
        size_t hit = s.find(from, pos);
        if (hit == std::string::npos)
            break;
        out.append(s, pos, hit - pos);
        out += to;
        pos = hit + from.size();
        ++n;
    }
    if (n > 0) {
        out.append(s, pos, std::string::npos);
        s.swap(out);
    }
    return n;
}

bool startsWith(const std::string& s, const std::string& prefix)
{
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

bool startsWithNoCase(const std::string& s, const std::string& prefix)
{
    if (s.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        const unsigned char a = static_cast<unsigned char>(s[i]);
        const unsigned char b = static_cast<unsigned char>(prefix[i]);
        if (std::tolower(a) != std::tolower(b))
            return false;
    }
    return true;
}

namespace {

int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

} // namespace

uint32_t parseUnsigned32(const std::string& text)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < n && text[i] == '0') {
        if (i + 2 < n && (text[i + 1] == 'x' || text[i + 1] == 'X') && digitValue(text[i + 2]) < 16) {
            base = 16;
            i += 2;
        } else {
            base = 8;
        }
    }
    uint64_t value = 0;
    bool overflow = false;
    bool any = false;
    for (; i < n; ++i) {
        const int d = digitValue(text[i]);
        if (d >= base)
            break;
        any = true;
        if (!overflow) {
            value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
            if (value > 0xFFFFFFFFull)
                overflow = true;
        }
    }
    if (!any)
        return 0;
    if (overflow)
        return 0xFFFFFFFFu;
    uint32_t v = static_cast<uint32_t>(value);
    return negative ? static_cast<uint32_t>(0u - v) : v;
}

} // namespace brelvo

namespace brelvo {

std::string oneLine(const std::string& s)
{
    std::string out = s;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    return out;
}

} // namespace brelvo
