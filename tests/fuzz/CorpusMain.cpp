// SPDX-License-Identifier: MIT
// Runs every file of the given corpus folders (or files) through the fuzz
// target it is linked with, so the inputs that once mattered are checked on
// every ordinary test run. No inputs at all is a failure, not a pass.

#include "FuzzCheck.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    std::error_code ec;
    for (int i = 1; i < argc; ++i) {
        if (fs::is_regular_file(argv[i], ec))
            files.push_back(argv[i]);
        for (fs::recursive_directory_iterator it(argv[i], ec), end; !ec && it != end; it.increment(ec))
            if (it->is_regular_file())
                files.push_back(it->path());
    }
    if (files.empty())
        return std::fprintf(stderr, "usage: %s CORPUS_DIR_OR_FILE... (no inputs found)\n", argv[0]), 1;
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        // Exactly the input's size on the heap, so a read past its end shows
        // under AddressSanitizer as it would while fuzzing.
        std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() + !bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), exact.get());
        LLVMFuzzerTestOneInput(exact.get(), bytes.size());
    }
    std::printf("%s: %zu corpus inputs ran clean\n", argv[0], files.size());
    return 0;
}
