// SPDX-License-Identifier: MIT
#include "DevsimRun.h"

#include <sstream>

namespace brelvo_test {

std::vector<std::string> devsimCommand(const NetnsEnv& env, std::vector<std::string> args)
{
    args.insert(args.begin(), {env.devsim, "--product", kDevsimProduct, "--tool", env.toolAddr});
    return inDeviceNamespace(env, args);
}

ProcessResult runDevsim(const NetnsEnv& env, std::vector<std::string> args, std::chrono::milliseconds limit)
{
    return runProcess(devsimCommand(env, std::move(args)), limit);
}

std::map<std::string, std::string> devsimReport(const std::string& output, int index)
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
        while (words >> w) {
            const auto eq = w.find('=');
            if (eq != std::string::npos)
                kv[w.substr(0, eq)] = w.substr(eq + 1);
        }
        return kv;
    }
    return {};
}

} // namespace brelvo_test
