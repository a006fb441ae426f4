// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brelvo_test {

// A fresh folder under $TMPDIR (or /tmp), removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes `name` inside the folder; its path. Throws when it cannot.
    std::string writeBytes(const std::string& name, const std::vector<uint8_t>& bytes) const;
    std::string writeText(const std::string& name, const std::string& text) const;

private:
    std::string path_;
};

} // namespace brelvo_test
