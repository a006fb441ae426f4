#pragma once
// A strict reader of one JSON text (RFC 8259) for the tests of serve's JSON
// Lines: it accepts exactly what the grammar allows (no trailing commas, no
// control characters or bad escapes in strings, no leading zeros, valid
// UTF-8 and surrogate pairs) and keeps the top-level object's string
// members, decoded, so a test can look at "event" and the like.

#include <cctype>
#include <cstdint>
#include <map>
#include <string>

namespace cli_test {

class JsonCheck {
public:
    // True when `text` is one JSON object and nothing else (spaces aside).
    // `error` says where it went wrong; `strings` gets the top level's
    // string members and `numbers` the text of its number members.
    bool object(const std::string& text, std::string* error = nullptr)
    {
        s_ = &text;
        i_ = 0;
        depth_ = 0;
        strings.clear();
        numbers.clear();
        space();
        bool ok = peek() == '{' && value(true);
        space();
        ok = ok && i_ == text.size();
        if (!ok && error)
            *error = "not valid JSON at byte " + std::to_string(i_);
        return ok;
    }

    std::map<std::string, std::string> strings;
    std::map<std::string, std::string> numbers;

private:
    char peek() const { return i_ < s_->size() ? (*s_)[i_] : '\0'; }
    bool eat(char c) { return peek() == c && (++i_, true); }
    void space()
    {
        while (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')
            ++i_;
    }
    bool literal(const char* word)
    {
        const std::string w(word);
        if (s_->compare(i_, w.size(), w) != 0)
            return false;
        i_ += w.size();
        return true;
    }

    bool value(bool top = false)
    {
        if (++depth_ > 64)
            return false;
        bool ok = false;
        switch (peek()) {
        case '{': ok = members(top); break;
        case '[': ok = elements(); break;
        case '"': ok = string(nullptr); break;
        case 't': ok = literal("true"); break;
        case 'f': ok = literal("false"); break;
        case 'n': ok = literal("null"); break;
        default: ok = number(); break;
        }
        --depth_;
        return ok;
    }

    bool members(bool top)
    {
        ++i_; // '{'
        space();
        if (eat('}'))
            return true;
        for (;;) {
            std::string name;
            space();
            if (!string(&name))
                return false;
            space();
            if (!eat(':'))
                return false;
            space();
            const size_t start = i_;
            if (top && peek() == '"') {
                std::string text;
                if (!string(&text) || strings.count(name) || numbers.count(name))
                    return false;
                strings[name] = text;
            } else {
                if (!value())
                    return false;
                if (top && (strings.count(name) || numbers.count(name)))
                    return false;
                if (top)
                    numbers[name] = s_->substr(start, i_ - start);
            }
            space();
            if (eat('}'))
                return true;
            if (!eat(','))
                return false;
        }
    }

    bool elements()
    {
        ++i_; // '['
        space();
        if (eat(']'))
            return true;
        for (;;) {
            space();
            if (!value())
                return false;
            space();
            if (eat(']'))
                return true;
            if (!eat(','))
                return false;
        }
    }

    bool number()
    {
        eat('-');
        if (eat('0')) {
            if (std::isdigit(static_cast<unsigned char>(peek())))
                return false;
        } else if (!digits()) {
            return false;
        }
        if (eat('.') && !digits())
            return false;
        if (eat('e') || eat('E')) {
            if (!eat('+'))
                eat('-');
            if (!digits())
                return false;
        }
        return true;
    }

    bool digits()
    {
        const size_t start = i_;
        while (std::isdigit(static_cast<unsigned char>(peek())))
            ++i_;
        return i_ > start;
    }

    bool hex4(uint32_t* out)
    {
        *out = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = peek();
            const int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (v < 0)
                return false;
            *out = *out << 4 | static_cast<uint32_t>(v);
            ++i_;
        }
        return true;
    }

    static void append(std::string* out, uint32_t cp)
    {
        if (!out)
            return;
        if (cp < 0x80) {
            *out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            *out += static_cast<char>(0xC0 | cp >> 6);
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *out += static_cast<char>(0xE0 | cp >> 12);
            *out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            *out += static_cast<char>(0xF0 | cp >> 18);
            *out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
            *out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    // One UTF-8 sequence starting at i_; false when it is not valid.
    bool utf8(std::string* out)
    {
        const auto byte = [this](size_t k) { return static_cast<uint8_t>((*s_)[k]); };
        const uint8_t b = byte(i_);
        size_t n;
        uint32_t cp, min;
        if (b < 0x80)
            n = 1, cp = b, min = 0;
        else if ((b & 0xE0) == 0xC0)
            n = 2, cp = b & 0x1F, min = 0x80;
        else if ((b & 0xF0) == 0xE0)
            n = 3, cp = b & 0x0F, min = 0x800;
        else if ((b & 0xF8) == 0xF0)
            n = 4, cp = b & 0x07, min = 0x10000;
        else
            return false;
        if (i_ + n > s_->size())
            return false;
        for (size_t k = 1; k < n; ++k) {
            if ((byte(i_ + k) & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (byte(i_ + k) & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i_ += n;
        append(out, cp);
        return true;
    }

    bool string(std::string* out)
    {
        if (!eat('"'))
            return false;
        for (;;) {
            if (i_ >= s_->size())
                return false;
            const uint8_t c = static_cast<uint8_t>(peek());
            if (c == '"')
                return ++i_, true;
            if (c < 0x20)
                return false;
            if (c != '\\') {
                if (!utf8(out))
                    return false;
                continue;
            }
            ++i_;
            const char e = peek();
            ++i_;
            switch (e) {
            case '"': case '\\': case '/': append(out, static_cast<uint32_t>(e)); break;
            case 'b': append(out, '\b'); break;
            case 'f': append(out, '\f'); break;
            case 'n': append(out, '\n'); break;
            case 'r': append(out, '\r'); break;
            case 't': append(out, '\t'); break;
            case 'u': {
                uint32_t cp;
                if (!hex4(&cp))
                    return false;
                if (cp >= 0xDC00 && cp <= 0xDFFF)
                    return false; // a low surrogate alone
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    uint32_t low;
                    if (!eat('\\') || !eat('u') || !hex4(&low) || low < 0xDC00 || low > 0xDFFF)
                        return false;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                }
                append(out, cp);
                break;
            }
            default:
                return false;
            }
        }
    }

    const std::string* s_ = nullptr;
    size_t i_ = 0;
    int depth_ = 0;
};

} // namespace cli_test
