#pragma once

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>

namespace brelvo_test {

// A scratch directory removed with everything in it at the end of a test.
class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/brelvo-engine-XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made ? made : "/tmp";
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::string write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(file(name), std::ios::binary) << bytes;
        return file(name);
    }
    std::string makeDir(const std::string& name) const
    {
        ::mkdir(file(name).c_str(), 0755);
        return file(name);
    }

private:
    std::string path_;
};

} // namespace brelvo_test
