// One received datagram through both readers of an update request: the
// listener's parse and the job's creation. They must agree (a type-0
// request that parses yields a job with the same product code, and only
// such a request yields a job), and neither may touch memory outside the
// datagram or the 64-byte code field.

#include "FuzzCheck.h"

#include "job/UpdateJob.h"
#include "server/UpdateRequest.h"
#include "server/WireFormat.h"

#include <cstring>
#include <memory>
#include <string>

using namespace brelvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The listener receives into a 256-byte buffer and hands over at most
    // that much; the parser itself must still cope with any length.
    const int received = static_cast<int>(size > 0x7FFFFFFF ? 0x7FFFFFFF : size);

    // Exactly the field size on the heap: one byte too far is an ASan report.
    std::unique_ptr<char[]> code(new char[wire::kProductCodeField]);
    std::memset(code.get(), 0, wire::kProductCodeField);
    int type = 0;
    const int parsed = parseUpdateRequest(data, received, &type, code.get());

    if (parsed == 0) {
        FUZZ_CHECK(size >= wire::kHeaderSize);
        FUZZ_CHECK(std::memcmp(data, "upd:", 4) == 0);
        FUZZ_CHECK(type == static_cast<int8_t>(data[4]));
        const size_t codeLength = strnlen(code.get(), wire::kProductCodeField);
        FUZZ_CHECK(codeLength < wire::kProductCodeField);
        const uint32_t declared = wire::readBe32(data + 8);
        FUZZ_CHECK(wire::kHeaderSize + static_cast<uint64_t>(declared) <= size);
        FUZZ_CHECK(codeLength <= declared);
        FUZZ_CHECK(std::memcmp(code.get(), data + 12, codeLength) == 0);
        // The code ends at the declared length or at the first zero byte.
        FUZZ_CHECK(codeLength == declared || data[12 + codeLength] == 0);
    } else {
        FUZZ_CHECK(parsed == -1);
        // A failed parse leaves the code field as the caller set it.
        for (size_t i = 0; i < wire::kProductCodeField; ++i)
            FUZZ_CHECK(code[i] == 0);
    }

    std::shared_ptr<UpdateJob> job = UpdateJob::create(data, received);
    if (parsed == 0 && type == 0) {
        FUZZ_CHECK(job != nullptr);
        FUZZ_CHECK(job->productCodeText() == std::string(code.get()));
        FUZZ_CHECK(job->statusCode() == Accepted);
        FUZZ_CHECK(!job->isFinished());
        FUZZ_CHECK(job->progress() == 0);
        FUZZ_CHECK(job->lentAddressText() == "0.0.0.0");
    } else {
        FUZZ_CHECK(job == nullptr);
    }

    // Null arguments are refused, never dereferenced.
    FUZZ_CHECK(parseUpdateRequest(data, received, nullptr, code.get()) == -1);
    FUZZ_CHECK(parseUpdateRequest(data, received, &type, nullptr) == -1);
    return 0;
}
