// SPDX-License-Identifier: MIT
#pragma once

#include "ChildProcess.h"
#include "NetnsEnv.h"

#include <map>

namespace brelvo_test {

// The product code the firmware folders of tests and benchmarks serve.
constexpr const char* kDevsimProduct = "ABCDEFG";

// brelvo-devsim in the device namespace asking the tool for `product`, then `args`.
inline std::vector<std::string> devsimCommand(const NetnsEnv& env, std::vector<std::string> args,
                                              const std::string& product = kDevsimProduct)
{
    args.insert(args.begin(), {env.devsim, "--product", product, "--tool", env.toolAddr});
    return inDeviceNamespace(env, args);
}

inline ProcessResult runDevsim(const NetnsEnv& env, std::vector<std::string> args,
                               std::chrono::milliseconds limit = std::chrono::seconds(90))
{
    return runProcess(devsimCommand(env, std::move(args)), limit);
}

// Device `index`'s summary line ("device N ADDR:PORT key=value ... result=...")
// as key=value pairs, "endpoint" holding ADDR:PORT; empty when there is none.
inline std::map<std::string, std::string> devsimReport(const std::string& output, int index)
{
    std::istringstream in(output);
    const std::string prefix = "device " + std::to_string(index) + " ";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) != 0 || line.find(" result=") == std::string::npos)
            continue;
        std::map<std::string, std::string> kv;
        std::istringstream words(line.substr(prefix.size()));
        std::string w;
        words >> w;
        kv["endpoint"] = w;
        while (words >> w)
            if (w.find('=') != std::string::npos)
                kv[w.substr(0, w.find('='))] = w.substr(w.find('=') + 1);
        return kv;
    }
    return {};
}

} // namespace brelvo_test
