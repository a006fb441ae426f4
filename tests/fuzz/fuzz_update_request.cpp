// One datagram through both readers of an update request, the listener's
// parse and the job's creation: what they read must be in the datagram, they
// must agree, and neither may touch memory outside the datagram or the
// 64-byte code field.

#include "FuzzCheck.h"

#include "job/UpdateJob.h"
#include "protocol/UpdateRequest.h"
#include "protocol/WireFormat.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

using namespace brelvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const int received = int(std::min<size_t>(size, 0x7FFFFFFF));
    std::unique_ptr<char[]> code(new char[wire::kProductCodeField]()); // exact size: one byte too far is reported
    int type = 0;
    const int parsed = parseUpdateRequest(data, received, &type, code.get());
    const size_t n = strnlen(code.get(), wire::kProductCodeField);
    FUZZ_CHECK(parsed == 0 || (parsed == -1 && std::count(code.get(), code.get() + wire::kProductCodeField, 0) ==
                                                   wire::kProductCodeField));
    if (parsed == 0) {
        FUZZ_CHECK(size >= wire::kHeaderSize && std::memcmp(data, "upd:", 4) == 0 && type == int8_t(data[4]));
        const uint32_t declared = wire::readBe32(data + 8);
        FUZZ_CHECK(wire::kHeaderSize + uint64_t(declared) <= size && n < wire::kProductCodeField && n <= declared);
        // The code is the declared bytes up to the first zero.
        FUZZ_CHECK(std::memcmp(code.get(), data + 12, n) == 0 && (n == declared || data[12 + n] == 0));
    }
    // Only a parsed type-0 request makes a job, and with the same code.
    std::shared_ptr<UpdateJob> job = UpdateJob::create(data, received);
    FUZZ_CHECK((job != nullptr) == (parsed == 0 && type == 0));
    if (job)
        FUZZ_CHECK(job->productCodeText() == std::string(code.get()) && job->statusCode() == Accepted &&
                   job->progress() == 0 && job->lentAddressText() == "0.0.0.0");
    FUZZ_CHECK(parseUpdateRequest(data, received, nullptr, code.get()) == -1);
    FUZZ_CHECK(parseUpdateRequest(data, received, &type, nullptr) == -1);
    return 0;
}
