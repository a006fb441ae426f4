// Runs every file of the given corpus folders (or single files) through the
// fuzz target it is linked with, in name order. Used by the ordinary test
// run, so inputs that once broke something keep being checked without a
// fuzzing build. An empty or missing corpus is a failure, not a pass.

#include "FuzzCheck.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool readFile(const std::string& path, std::vector<uint8_t>& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

void collect(const std::string& path, std::vector<std::string>& files)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        files.push_back(path);
        return;
    }
    DIR* d = opendir(path.c_str());
    if (!d)
        return;
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..")
            names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const auto& n : names)
        collect(path + "/" + n, files);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR_OR_FILE...\n", argv[0]);
        return 2;
    }
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const size_t before = files.size();
        collect(argv[i], files);
        if (files.size() == before) {
            std::fprintf(stderr, "%s: no inputs in '%s'\n", argv[0], argv[i]);
            return 1;
        }
    }
    std::vector<uint8_t> bytes;
    for (const auto& f : files) {
        if (!readFile(f, bytes)) {
            std::fprintf(stderr, "%s: cannot read '%s'\n", argv[0], f.c_str());
            return 1;
        }
        // A copy of exactly the input's size, so a read past the end shows
        // up under AddressSanitizer as it would while fuzzing.
        std::vector<uint8_t> exact(bytes);
        exact.shrink_to_fit();
        static const uint8_t none = 0;
        LLVMFuzzerTestOneInput(exact.empty() ? &none : exact.data(), exact.size());
    }
    std::printf("%s: %zu corpus inputs ran clean\n", argv[0], files.size());
    return 0;
}
