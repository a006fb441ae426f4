// SPDX-License-Identifier: MIT
// One datagram through the update-request reader, beside a reference written
// from the rules alone: "upd:" and a 12-byte header, a big-endian payload
// length that stays inside the datagram, a code that ends at that length or
// at the first zero byte and has at most 63 characters, type 0. The reader
// must agree, read nothing outside the datagram (libFuzzer and the corpus
// driver both hand it a buffer of exactly its size) and write nothing
// outside the 64-byte field.

#include "FuzzCheck.h"

#include "protocol/UpdateRequest.h"
#include "protocol/WireFormat.h"

#include <algorithm>
#include <memory>
#include <string>

using namespace brelvo;

namespace {

// The rules, spelled out without the reader's helpers.
bool reference(const uint8_t* d, size_t n, int* type, std::string* code)
{
    if (n < 12 || d[0] != 'u' || d[1] != 'p' || d[2] != 'd' || d[3] != ':')
        return false;
    const uint64_t length = (uint64_t(d[8]) << 24) | (uint64_t(d[9]) << 16) | (uint64_t(d[10]) << 8) | d[11];
    if (12 + length > n)
        return false;
    size_t end = 0;
    while (end < length && d[12 + end] != 0)
        ++end;
    if (end > 63)
        return false;
    *type = d[4] >= 128 ? int(d[4]) - 256 : int(d[4]);
    code->assign(reinterpret_cast<const char*>(d + 12), end);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int refType = 0;
    std::string refCode;
    const bool wellFormed = reference(data, size, &refType, &refCode);

    UpdateRequest request;
    const RequestProblem problem = readUpdateRequest(data, size, &request);
    FUZZ_CHECK((problem == RequestProblem::None) == (wellFormed && refType == 0));
    FUZZ_CHECK((problem == RequestProblem::NotARequest) == (wellFormed && refType != 0));
    if (wellFormed)
        FUZZ_CHECK(request.type == refType && request.productCode == refCode);

    // The fixed-field form reads the same way and keeps to its 64 bytes.
    if (size <= 0x7FFFFFFF) {
        std::unique_ptr<char[]> field(new char[wire::kProductCodeField]());
        int type = 0;
        const int parsed = parseUpdateRequest(data, int(size), &type, field.get());
        FUZZ_CHECK((parsed == 0) == wellFormed);
        if (parsed == 0)
            FUZZ_CHECK(type == refType && std::string(field.get()) == refCode);
        else
            FUZZ_CHECK(std::count(field.get(), field.get() + wire::kProductCodeField, 0) ==
                       long(wire::kProductCodeField));
        FUZZ_CHECK(parseUpdateRequest(data, int(size), nullptr, field.get()) == -1);
        FUZZ_CHECK(parseUpdateRequest(data, int(size), &type, nullptr) == -1);
    }
    return 0;
}
