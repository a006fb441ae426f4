// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace brelvo {

// A configuration shorter than this is refused.
constexpr uint64_t kMinConfigBytes = 65536;
// An image with its configuration appended may not be longer than this.
constexpr uint64_t kMaxImageWithConfigBytes = 16777216;

enum class ConfigProblem { None, Missing, Unreadable, TooShort, NotARegularFile };

struct ConfigCheck {
    bool ok = false;
    ConfigProblem problem = ConfigProblem::Missing;
    uint64_t size = 0;      // bytes, when it could be examined
    std::string reason;     // English, one line, names the file; empty when ok
};

// Whether `path` can be appended to images as a configuration, checked
// before a run so that a bad one is refused at once rather than by every
// job. The limit on image plus configuration depends on the image and is
// checked by each job.
ConfigCheck checkConfigFile(const std::string& path);

// The reason texts of the checks above, shared with the jobs' loading.
std::string configTooShortReason(const std::string& path, uint64_t size);
std::string configProblemReason(const std::string& path, ConfigProblem problem);

} // namespace brelvo
