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
bool parseCsv(const std::string& text, CsvRows* rows);
CsvRows parseCsv(const std::string& text);

} // namespace brelvo_test
