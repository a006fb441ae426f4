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
        s_ = text, i_ = 0, fields.clear();
        const bool ok = (space(), peek() == '{') && value(0) && (space(), i_ == s_.size());
        if (!ok && error)
            *error = "not valid JSON at byte " + std::to_string(i_);
        return ok;
    }

    std::map<std::string, std::string> fields;

private:
    uint8_t peek() const { return i_ < s_.size() ? uint8_t(s_[i_]) : 0; }
    bool eat(char c) { return peek() == uint8_t(c) && c && (++i_, true); }
    bool in(uint8_t lo, uint8_t hi) { return peek() >= lo && peek() <= hi && (++i_, true); }
    void space() { while (peek() && std::strchr(" \t\n\r", peek())) ++i_; }
    bool digits() { const size_t from = i_; while (in('0', '9')) {} return i_ > from; }

    bool value(int depth)
    {
        space();
        for (const char* w : {"true", "false", "null"})
            if (s_.compare(i_, std::strlen(w), w) == 0)
                return i_ += std::strlen(w), true;
        if (peek() == '"')
            return string();
        if (depth > 64 || !(eat('{') || eat('[')))
            return number();
        const bool object = s_[i_ - 1] == '{';
        if (space(), eat(object ? '}' : ']'))
            return true;
        do {
            size_t from = (space(), i_), to = from;
            if (object && !(string() && (to = i_, space(), eat(':'))))
                return false;
            const std::string name = s_.substr(from, to - from);
            from = (space(), i_);
            if (!value(depth + 1))
                return false;
            if (object && depth == 0 && !fields.emplace(bare(name), bare(s_.substr(from, i_ - from))).second)
                return false;
            space();
        } while (eat(','));
        return eat(object ? '}' : ']');
    }

    static std::string bare(const std::string& v) { return v[0] == '"' ? v.substr(1, v.size() - 2) : v; }

    bool number()
    {
        eat('-');
        if (eat('0') ? (peek() >= '0' && peek() <= '9') : !digits())
            return false;
        if (eat('.') && !digits())
            return false;
        return !(eat('e') || eat('E')) || ((eat('+') || eat('-')), digits());
    }

    // \uXXXX with a value in [lo, hi].
    bool escape(uint32_t lo, uint32_t hi)
    {
        const std::string h = s_.substr(i_, 4);
        const bool hex = h.size() == 4 && h.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
        return hex && std::stoul(h, nullptr, 16) >= lo && std::stoul(h, nullptr, 16) <= hi && (i_ += 4, true);
    }

    // UTF-8 as well-formed sequences (no overlong forms, surrogates or
    // values beyond U+10FFFF); escapes with their surrogates in pairs.
    bool string()
    {
        if (!eat('"'))
            return false;
        while (!eat('"')) {
            const uint8_t c = peek();
            ++i_;
            const bool ok = c >= 0x20 && c < 0x80 && c != '\\' ? true
                : c == '\\' && eat('u') ? escape(0, 0xD7FF) || escape(0xE000, 0xFFFF)
                    || (escape(0xD800, 0xDBFF) && eat('\\') && eat('u') && escape(0xDC00, 0xDFFF))
                : c == '\\' ? std::strchr("\"\\/bfnrt", peek()) && peek() && (++i_, true)
                : c >= 0xC2 && c <= 0xDF ? in(0x80, 0xBF)
                : c >= 0xE0 && c <= 0xEF ? in(c == 0xE0 ? 0xA0 : 0x80, c == 0xED ? 0x9F : 0xBF) && in(0x80, 0xBF)
                : c >= 0xF0 && c <= 0xF4 ? in(c == 0xF0 ? 0x90 : 0x80, c == 0xF4 ? 0x8F : 0xBF) && in(0x80, 0xBF)
                        && in(0x80, 0xBF)
                : false;
            if (!ok)
                return false;
        }
        return true;
    }

    std::string s_;
    size_t i_ = 0;
};

} // namespace brelvo_test
