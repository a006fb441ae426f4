// SPDX-License-Identifier: MIT
#include "Csv.h"

namespace brelvo_test {

bool parseCsv(const std::string& text, CsvRows* rows)
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
            if (inQuotes) {
                if (c != '"')
                    fields.back() += c;
                else if (k + 1 < line.size() && line[k + 1] == '"')
                    fields.back() += '"', ++k;
                else
                    inQuotes = false;
            } else if (c == ',') {
                fields.emplace_back();
                quoted = false;
            } else if (c == '"' && fields.back().empty() && !quoted) {
                inQuotes = quoted = true;
            } else if (c == '"' || quoted) {
                return false;
            } else {
                fields.back() += c;
            }
        }
        if (inQuotes)
            return false;
        rows->push_back(fields);
        i = end + 2;
    }
    return true;
}

CsvRows parseCsv(const std::string& text)
{
    CsvRows rows;
    parseCsv(text, &rows);
    return rows;
}

} // namespace brelvo_test
