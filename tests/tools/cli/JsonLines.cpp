// SPDX-License-Identifier: MIT
// Reads JSON Lines on standard input for the serve scenarios: every line
// must be one JSON object. Prints, a line per input line, the top-level
// members named on the command line (default: event), '-' where missing.
// Exit 1 naming the first line that is not valid; 2 on no input at all.
#include "JsonCheck.h"

#include <iostream>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> names(argv + 1, argv + argc);
    if (names.empty())
        names.push_back("event");
    brelvo_test::JsonCheck check;
    std::string line, error;
    long number = 0;
    while (std::getline(std::cin, line)) {
        ++number;
        if (!check.object(line, &error)) {
            std::cerr << "line " << number << ": " << error << ": " << line << "\n";
            return 1;
        }
        for (size_t k = 0; k < names.size(); ++k) {
            const auto f = check.fields.find(names[k]);
            std::cout << (k ? " " : "") << (f != check.fields.end() ? f->second : "-");
        }
        std::cout << "\n";
    }
    if (number == 0)
        std::cerr << "no input\n";
    return number == 0 ? 2 : 0;
}
