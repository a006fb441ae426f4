// SPDX-License-Identifier: MIT
// Build-time fix-up for compiled catalogues.
//
// lrelease writes a finished but empty translation as a *null* string (length
// 0xFFFFFFFF). QTranslator reads a null translation as "no translation", so
// tr() would show the key instead of the intended empty text (the about
// dialog's copyright line is meant to be blank). This tool rewrites every such
// null translation as a zero-length one. The two encodings take the same four
// bytes, so no offset in the catalogue's hash table moves.
//
// Usage: brelvo_qm_keep_empty <file.qm>   (rewritten in place)
// Any structure it does not recognise makes it fail without touching the file.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const unsigned char kMagic[16] = {0x3c, 0xb8, 0x64, 0x18, 0xca, 0xef, 0x9c, 0x95,
                                  0xcd, 0x21, 0x1c, 0xbf, 0x60, 0xa1, 0xbd, 0xdd};

// Section tags of a compiled catalogue.
enum : unsigned char {
    SectionContexts = 0x2f,
    SectionHashes = 0x42,
    SectionMessages = 0x69,
    SectionNumerusRules = 0x88,
    SectionDependencies = 0x96,
    SectionLanguage = 0xa7,
};

// Field tags inside one message.
enum : unsigned char {
    TagEnd = 1,
    TagSourceText16 = 2,
    TagTranslation = 3,
    TagContext16 = 4,
    TagObsolete1 = 5,
    TagSourceText = 6,
    TagContext = 7,
    TagComment = 8,
    TagObsolete2 = 9,
};

const std::uint32_t kNullLength = 0xffffffffu;

bool read32(const std::vector<unsigned char> &d, std::size_t at, std::uint32_t &out)
{
    if (at > d.size() || d.size() - at < 4)
        return false;
    out = (std::uint32_t(d[at]) << 24) | (std::uint32_t(d[at + 1]) << 16)
        | (std::uint32_t(d[at + 2]) << 8) | std::uint32_t(d[at + 3]);
    return true;
}

// Walks the messages in [begin, end) and patches null translations.
// Returns the number patched, or -1 on malformed input.
long patchMessages(std::vector<unsigned char> &d, std::size_t begin, std::size_t end)
{
    long patched = 0;
    std::size_t p = begin;
    while (p < end) {
        const unsigned char tag = d[p++];
        std::uint32_t len = 0;
        switch (tag) {
        case TagEnd:
            break;
        case TagObsolete1:
        case TagObsolete2:
            if (end - p < 4)
                return -1;
            p += 4;
            break;
        case TagTranslation:
            if (end - p < 4 || !read32(d, p, len))
                return -1;
            if (len == kNullLength) {
                d[p] = d[p + 1] = d[p + 2] = d[p + 3] = 0;
                ++patched;
                p += 4;
                break;
            }
            [[fallthrough]];
        case TagSourceText16:
        case TagContext16:
        case TagSourceText:
        case TagContext:
        case TagComment:
            if (end - p < 4 || !read32(d, p, len) || len > end - p - 4)
                return -1;
            p += 4 + len;
            break;
        default:
            return -1;
        }
    }
    return p == end ? patched : -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::cerr << "usage: brelvo_qm_keep_empty <file.qm>\n";
        return 2;
    }
    const std::string path = argv[1];
    std::vector<unsigned char> data;
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::cerr << path << ": cannot open\n";
            return 1;
        }
        data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (data.size() < sizeof kMagic || !std::equal(kMagic, kMagic + sizeof kMagic, data.begin())) {
        std::cerr << path << ": not a compiled catalogue\n";
        return 1;
    }

    long patched = 0;
    bool sawMessages = false;
    std::size_t p = sizeof kMagic;
    while (p < data.size()) {
        const unsigned char section = data[p];
        std::uint32_t len = 0;
        if (!read32(data, p + 1, len) || len > data.size() - p - 5) {
            std::cerr << path << ": truncated section at " << p << "\n";
            return 1;
        }
        const std::size_t body = p + 5;
        switch (section) {
        case SectionMessages: {
            const long n = patchMessages(data, body, body + len);
            if (n < 0) {
                std::cerr << path << ": malformed message table\n";
                return 1;
            }
            patched += n;
            sawMessages = true;
            break;
        }
        case SectionContexts:
        case SectionHashes:
        case SectionNumerusRules:
        case SectionDependencies:
        case SectionLanguage:
            break;
        default:
            std::cerr << path << ": unknown section 0x" << std::hex << int(section) << "\n";
            return 1;
        }
        p = body + len;
    }
    if (!sawMessages) {
        std::cerr << path << ": no message table\n";
        return 1;
    }
    if (patched == 0)
        return 0;

    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
        if (!out) {
            std::cerr << tmp << ": cannot write\n";
            std::remove(tmp.c_str());
            return 1;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::cerr << path << ": cannot replace\n";
        std::remove(tmp.c_str());
        return 1;
    }
    return 0;
}
