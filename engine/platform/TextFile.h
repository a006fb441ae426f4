#pragma once

#include <cstdio>
#include <string>

namespace brelvo {

// Reads a text file line by line; each line comes without its CR/LF end.
class TextFile {
public:
    TextFile() = default;
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    bool open(const std::string& path);
    // The next line; false at the end of the file.
    bool readLine(std::string& line);
    void close();

private:
    std::FILE* file_ = nullptr;
};

} // namespace brelvo
