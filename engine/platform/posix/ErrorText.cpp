// SPDX-License-Identifier: MIT
#include "platform/ErrorText.h"

#include <cerrno>
#include <cstring>
#include <locale.h>

namespace brelvo {

std::string errorTextEnglish(int code)
{
    // One "C" locale for the process; strerror_l is thread-safe where
    // strerror is not.
    static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", locale_t(0));
    if (cLocale != locale_t(0))
        return ::strerror_l(code, cLocale);
    return "error " + std::to_string(code);
}

bool isAddressInUse(int code) { return code == EADDRINUSE; }

} // namespace brelvo
