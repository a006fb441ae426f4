// SPDX-License-Identifier: MIT
#include "TempDir.h"

#include "Files.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace brelvo_test {

TempDir::TempDir() : path_(makeTemp("test", true)) {}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::writeBytes(const std::string& name, const std::vector<uint8_t>& bytes) const
{
    std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
    if (!out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size())))
        throw std::runtime_error("cannot write " + file(name));
    return file(name);
}

std::string TempDir::writeText(const std::string& name, const std::string& text) const
{
    return writeBytes(name, {text.begin(), text.end()});
}

} // namespace brelvo_test
