// SPDX-License-Identifier: MIT
#include "firmware/ConfigCheck.h"

#include "platform/FileIdentity.h"
#include "platform/RawFile.h"
#include "platform/Text.h"

namespace brelvo {

std::string configTooShortReason(const std::string& path, uint64_t size)
{
    return "configuration " + oneLine(path) + " has " + std::to_string(size) + " bytes; at least " +
           std::to_string(kMinConfigBytes) + " are needed";
}

std::string configProblemReason(const std::string& path, ConfigProblem problem)
{
    const std::string name = "configuration " + oneLine(path);
    switch (problem) {
    case ConfigProblem::None:
        return std::string();
    case ConfigProblem::Missing:
        return path.empty() ? "no configuration file was named" : name + " does not exist";
    case ConfigProblem::Unreadable:
        return name + " cannot be read";
    case ConfigProblem::NotARegularFile:
        return name + " is not a regular file";
    case ConfigProblem::TooShort:
        break;
    }
    return name + " is too short";
}

ConfigCheck checkConfigFile(const std::string& path)
{
    ConfigCheck c;
    FileIdentity id;
    const StatOutcome found = path.empty() ? StatOutcome::Missing : fileIdentity(path, &id);
    if (found != StatOutcome::Ok) {
        c.problem = found == StatOutcome::Missing ? ConfigProblem::Missing : ConfigProblem::Unreadable;
    } else if (id.kind != FileKind::Regular) {
        c.problem = ConfigProblem::NotARegularFile;
    } else {
        RawFile file;
        c.size = id.size;
        if (!file.open(path))
            c.problem = ConfigProblem::Unreadable;
        else if ((c.size = file.length()) < kMinConfigBytes)
            c.problem = ConfigProblem::TooShort;
        else
            c.problem = ConfigProblem::None;
    }
    c.ok = c.problem == ConfigProblem::None;
    c.reason = c.problem == ConfigProblem::TooShort ? configTooShortReason(path, c.size)
                                                    : configProblemReason(path, c.problem);
    return c;
}

} // namespace brelvo
