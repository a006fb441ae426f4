// SPDX-License-Identifier: MIT
#include "platform/ProgramArguments.h"

namespace brelvo {

std::vector<std::string> programArguments(int argc, char** argv) { return {argv, argv + argc}; }

void useUtf8Console() {}

} // namespace brelvo
