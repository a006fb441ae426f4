// SPDX-License-Identifier: MIT
#pragma once
// A strict reader of one JSON object (RFC 8259) for the tests of JSON output
// (event lines, serve's JSON Lines, check --json). It refuses what the
// grammar does not allow (trailing commas, raw controls or bad escapes in
// strings, leading zeros, invalid UTF-8, lone surrogates) and a repeated
// top-level member, and keeps the top level's members: a string as written
// between its quotes, anything else as its text.

#include <cstdint>
#include <cstring>
#include <map>
#include <string>

namespace brelvo_test {

class JsonCheck {
public:
    // True when `text` is one JSON object and nothing else (spaces aside).
    bool object(const std::string& text, std::string* error = nullptr)
    {
        s_ = text;
        i_ = 0;
        fields.clear();
        space();
        const bool ok = peek() == '{' && value(0) && (space(), i_ == s_.size());
        if (!ok && error)
            *error = "not valid JSON at byte " + std::to_string(i_);
        return ok;
    }

    std::map<std::string, std::string> fields;

private:
    char peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
    bool eat(char c) { return i_ < s_.size() && s_[i_] == c && (++i_, true); }
    void space() { while (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r') ++i_; }
    bool word(const char* w) { return s_.compare(i_, std::strlen(w), w) == 0 && (i_ += std::strlen(w), true); }
    bool digits() { const size_t from = i_; while (peek() >= '0' && peek() <= '9') ++i_; return i_ > from; }

    bool value(int depth)
    {
        space();
        switch (depth > 64 ? '\0' : peek()) {
        case '\0': return false;
        case '{': return ++i_, members('}', depth);
        case '[': return ++i_, members(']', depth);
        case '"': return string();
        case 't': return word("true");
        case 'f': return word("false");
        case 'n': return word("null");
        default: return number();
        }
    }

    // The members of an object or the elements of an array, up to `close`.
    bool members(char close, int depth)
    {
        space();
        if (eat(close))
            return true;
        do {
            space();
            std::string name;
            if (close == '}') {
                const size_t from = i_;
                if (!string())
                    return false;
                name = s_.substr(from + 1, i_ - from - 2);
                space();
                if (!eat(':'))
                    return false;
            }
            space();
            const size_t from = i_;
            if (!value(depth + 1))
                return false;
            if (close == '}' && depth == 0) {
                const std::string v = s_.substr(from, i_ - from);
                if (!fields.emplace(name, v[0] == '"' ? v.substr(1, v.size() - 2) : v).second)
                    return false;
            }
            space();
        } while (eat(','));
        return eat(close);
    }

    bool number()
    {
        eat('-');
        if (eat('0') ? (peek() >= '0' && peek() <= '9') : !digits())
            return false;
        if (eat('.') && !digits())
            return false;
        return !(eat('e') || eat('E')) || ((eat('+') || eat('-')), digits());
    }

    // Four hex digits; 0x110000 when they are not.
    uint32_t hex4()
    {
        const std::string h = s_.substr(i_, 4);
        i_ += 4;
        return h.size() == 4 && h.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos
                   ? static_cast<uint32_t>(std::stoul(h, nullptr, 16)) : 0x110000;
    }

    // The rest of a UTF-8 sequence whose first byte (0x80 or above) was read.
    bool utf8(uint8_t lead)
    {
        const int more = lead >= 0xF8 ? -1 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
        if (more < 0)
            return false;
        uint32_t cp = lead & (0x3F >> more);
        for (int k = 0; k < more; ++k, ++i_) {
            if ((static_cast<uint8_t>(peek()) & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (static_cast<uint8_t>(peek()) & 0x3F);
        }
        const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        return cp >= least[more] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
    }

    bool string()
    {
        if (!eat('"'))
            return false;
        while (i_ < s_.size()) {
            const uint8_t c = static_cast<uint8_t>(s_[i_++]);
            if (c == '"')
                return true;
            if (c < 0x20 || (c >= 0x80 && !utf8(c)))
                return false;
            if (c != '\\')
                continue;
            const char e = peek();
            ++i_;
            if (e == 'u') {
                const uint32_t cp = hex4();
                if (cp > 0xFFFF || (cp >= 0xDC00 && cp <= 0xDFFF))  // not hex, or a low surrogate alone
                    return false;
                if (cp >= 0xD800 && cp <= 0xDBFF) {  // a high one wants its low one
                    const uint32_t low = word("\\u") ? hex4() : 0;
                    if (low < 0xDC00 || low > 0xDFFF)
                        return false;
                }
            } else if (e == '\0' || !std::strchr("\"\\/bfnrt", e)) {
                return false;
            }
        }
        return false;
    }

    std::string s_;
    size_t i_ = 0;
};

} // namespace brelvo_test
