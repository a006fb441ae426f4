// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace brelvo_test {

using CsvRows = std::vector<std::vector<std::string>>;

// The run report's CSV: RFC 4180 with CRLF records, each on one physical
// line. False when the text is not such a file (a cut-off record, a bare CR
// or LF, a stray quote), so a torn row cannot pass; `rows` then holds the
// records before it.
inline bool parseCsv(const std::string& text, CsvRows* rows)
{
    rows->clear();
    for (size_t i = 0; i < text.size();) {
        const size_t end = text.find("\r\n", i);
        if (end == std::string::npos)
            return false;
        const std::string line = text.substr(i, end - i);
        if (line.find_first_of("\r\n") != std::string::npos)
            return false;
        std::vector<std::string> fields(1);
        bool quoted = false, inQuotes = false;
        for (size_t k = 0; k < line.size(); ++k) {
            const char c = line[k];
            if (inQuotes && c == '"' && k + 1 < line.size() && line[k + 1] == '"')
                fields.back() += '"', ++k;
            else if (inQuotes)
                c == '"' ? void(inQuotes = false) : void(fields.back() += c);
            else if (c == ',')
                fields.emplace_back(), quoted = false;
            else if (c == '"' && fields.back().empty() && !quoted)
                inQuotes = quoted = true;
            else if (c == '"' || quoted)
                return false;
            else
                fields.back() += c;
        }
        if (inQuotes)
            return false;
        rows->push_back(fields);
        i = end + 2;
    }
    return true;
}

inline CsvRows parseCsv(const std::string& text)
{
    CsvRows rows;
    parseCsv(text, &rows);
    return rows;
}

} // namespace brelvo_test
