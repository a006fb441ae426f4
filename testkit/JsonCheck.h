// SPDX-License-Identifier: MIT
#pragma once
// A strict reader of one JSON object for the tests of JSON output (event
// lines, serve's JSON Lines, check --json): nlohmann/json refuses what RFC 8259
// does not allow (trailing commas, raw controls or bad escapes in strings,
// leading zeros, invalid UTF-8, lone surrogates); a repeated top-level member
// is refused here. Keeps the top level's members: a string decoded, anything
// else as its JSON text.

#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

namespace brelvo_test {

class JsonCheck {
public:
    // True when `text` is one JSON object and nothing else (spaces aside).
    bool object(const std::string& text, std::string* error = nullptr)
    {
        using Json = nlohmann::json;
        fields.clear();
        std::set<std::string> names;
        bool repeated = false;
        Json doc;
        try {
            doc = Json::parse(text, [&](int depth, Json::parse_event_t event, Json& parsed) {
                if (depth == 1 && event == Json::parse_event_t::key)
                    repeated = !names.insert(parsed.get<std::string>()).second || repeated;
                return true;
            });
        } catch (const Json::parse_error& e) {
            return fail(error, e.what());
        }
        if (!doc.is_object() || repeated)
            return fail(error, repeated ? "a top-level member named twice" : "not an object");
        for (const auto& [name, value] : doc.items())
            fields[name] = value.is_string() ? value.get<std::string>() : value.dump();
        return true;
    }

    std::map<std::string, std::string> fields;

private:
    static bool fail(std::string* error, const std::string& why)
    {
        if (error)
            *error = why;
        return false;
    }
};

} // namespace brelvo_test
