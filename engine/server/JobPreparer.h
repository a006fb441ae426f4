#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brelvo {

// Finds a request's firmware and reads the bytes its job sends.
class JobPreparer {
public:
    struct Prepared {
        int status = 0;             // 0, or the job's failure status (12, 13)
        std::string reason;         // English, for the console and the log
        std::shared_ptr<const std::vector<uint8_t>> bytes;
        uint32_t checksum = 0;
    };

    std::string find(const std::string& firmwareDir, const std::string& productCode);
    Prepared prepare(const std::string& imagePath, const std::string& productCode, const std::string& configPath);
};

} // namespace brelvo
