// SPDX-License-Identifier: MIT
#pragma once

#include "Files.h"

#include <filesystem>

namespace brelvo_test {

// A fresh folder under $TMPDIR (or /tmp), removed with its contents.
class TempDir {
public:
    TempDir() : path_(makeTemp("test", true)) {}
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(std::filesystem::u8path(path_), ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + kPathSeparator + name; }
    // Writes `name` inside the folder; its path. Throws when it cannot.
    std::string writeBytes(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        std::ofstream out(std::filesystem::u8path(file(name)), std::ios::binary | std::ios::trunc);
        if (!out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size())))
            throw std::runtime_error("cannot write " + file(name));
        return file(name);
    }
    std::string writeText(const std::string& name, const std::string& text) const
    {
        return writeBytes(name, {text.begin(), text.end()});
    }

private:
    std::string path_;
};

} // namespace brelvo_test
