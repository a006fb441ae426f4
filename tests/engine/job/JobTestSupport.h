#pragma once

#include "job/UpdateJob.h"
#include "server/WireFormat.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace brelvo_test {

inline std::vector<uint8_t> updateRequest(const std::string& code, int type = 0, const char* magic = "upd:",
                                          int64_t declared = -1)
{
    std::vector<uint8_t> d(12 + code.size(), 0);
    std::memcpy(d.data(), magic, 4);
    d[4] = static_cast<uint8_t>(type);
    brelvo::wire::writeBe32(d.data() + 8, static_cast<uint32_t>(declared < 0 ? code.size() : declared));
    std::memcpy(d.data() + 12, code.data(), code.size());
    return d;
}

inline std::shared_ptr<brelvo::UpdateJob> makeJob(const std::string& code = "ABCDEFG")
{
    const auto d = updateRequest(code);
    return brelvo::UpdateJob::create(d.data(), static_cast<int>(d.size()));
}

// A device message: header with `type`, then `payload` 32-bit big-endian words.
inline std::vector<uint8_t> deviceMessage(int type, std::initializer_list<uint32_t> words = {})
{
    std::vector<uint8_t> d(12 + 4 * words.size(), 0);
    std::memcpy(d.data(), "upd:", 4);
    d[4] = static_cast<uint8_t>(type);
    brelvo::wire::writeBe32(d.data() + 8, static_cast<uint32_t>(4 * words.size()));
    size_t at = 12;
    for (uint32_t w : words) {
        brelvo::wire::writeBe32(d.data() + at, w);
        at += 4;
    }
    return d;
}

} // namespace brelvo_test
