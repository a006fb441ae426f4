// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace brelvo_test {

// Sets (or, with a null value, unsets) environment variables until the end
// of the scope, then puts back what was there.
class EnvironmentScope {
public:
    EnvironmentScope() = default;
    EnvironmentScope(const char* name, const char* value) { set(name, value); }
    ~EnvironmentScope();
    EnvironmentScope(const EnvironmentScope&) = delete;
    EnvironmentScope& operator=(const EnvironmentScope&) = delete;

    void set(const char* name, const char* value);

private:
    struct Saved {
        std::string name, value;
        bool had;
    };
    std::vector<Saved> saved_;
};

} // namespace brelvo_test
