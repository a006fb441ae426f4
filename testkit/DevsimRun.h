// SPDX-License-Identifier: MIT
#pragma once

#include "ChildProcess.h"
#include "NetnsEnv.h"

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace brelvo_test {

// The product code the firmware folders of tests and benchmarks serve.
constexpr const char* kDevsimProduct = "ABCDEFG";

// brelvo-devsim in the device namespace asking the tool for ABCDEFG, then `args`.
std::vector<std::string> devsimCommand(const NetnsEnv& env, std::vector<std::string> args);
ProcessResult runDevsim(const NetnsEnv& env, std::vector<std::string> args,
                        std::chrono::milliseconds limit = std::chrono::seconds(90));

// Device `index`'s summary line ("device N ADDR:PORT key=value ... result=...")
// as key=value pairs, "endpoint" holding ADDR:PORT; empty when there is none.
std::map<std::string, std::string> devsimReport(const std::string& output, int index);

} // namespace brelvo_test
