// Reads JSON Lines on standard input for the serve scenarios: every line
// must be one JSON object. Prints, a line per input line, the top-level
// members named on the command line (default: event), '-' where missing.
// Exit 1 naming the first line that is not valid; 2 on no input at all.
#include "JsonCheck.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> fields(argv + 1, argv + argc);
    if (fields.empty())
        fields.push_back("event");
    cli_test::JsonCheck check;
    std::string line, error;
    long number = 0;
    while (std::getline(std::cin, line)) {
        ++number;
        if (!check.object(line, &error)) {
            std::cerr << "line " << number << ": " << error << ": " << line << "\n";
            return 1;
        }
        std::string out;
        for (const std::string& f : fields) {
            const auto s = check.strings.find(f);
            const auto n = check.numbers.find(f);
            out += out.empty() ? "" : " ";
            out += s != check.strings.end() ? s->second : n != check.numbers.end() ? n->second : "-";
        }
        std::cout << out << "\n";
    }
    if (number == 0) {
        std::cerr << "no input\n";
        return 2;
    }
    return 0;
}
