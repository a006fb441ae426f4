// SPDX-License-Identifier: MIT
#include "EnvironmentScope.h"

#include <cstdlib>

namespace brelvo_test {

void EnvironmentScope::set(const char* name, const char* value)
{
    const char* old = std::getenv(name);
    saved_.push_back({name, old ? old : "", old != nullptr});
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
}

EnvironmentScope::~EnvironmentScope()
{
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
        it->had ? ::setenv(it->name.c_str(), it->value.c_str(), 1) : ::unsetenv(it->name.c_str());
}

} // namespace brelvo_test
