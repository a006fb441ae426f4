// SPDX-License-Identifier: MIT
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

namespace brelvo_test {

// Sets (or, with a null value, unsets) environment variables until the end
// of the scope, then puts back what was there.
class EnvironmentScope {
public:
    EnvironmentScope() = default;
    EnvironmentScope(const char* name, const char* value) { set(name, value); }
    ~EnvironmentScope()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            put(it->name.c_str(), it->had ? it->value.c_str() : nullptr);
    }
    EnvironmentScope(const EnvironmentScope&) = delete;
    EnvironmentScope& operator=(const EnvironmentScope&) = delete;

    void set(const char* name, const char* value)
    {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? old : "", old != nullptr});
        put(name, value);
    }

private:
    static void put(const char* name, const char* value)
    {
#ifdef _WIN32
        ::_putenv_s(name, value ? value : ""); // "" removes it there
#else
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
#endif
    }
    struct Saved {
        std::string name, value;
        bool had;
    };
    std::vector<Saved> saved_;
};

} // namespace brelvo_test
