// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <utility>

namespace brelvo {

// How the engine's own operations say why they failed. They return bool (or
// a value that can be empty) and take `Error* error` last; the caller passes
// null when the reason does not matter. `code` is an errno value for a
// failure of the system, or the job status the failure ends a job with.
struct Error {
    int code = 0;
    std::string text; // English, one line, names the input at fault
};

// Fills `error` when asked for; false, so a failing step can `return fail(...)`.
inline bool fail(Error* error, int code, std::string text)
{
    if (error) {
        error->code = code;
        error->text = std::move(text);
    }
    return false;
}

} // namespace brelvo
