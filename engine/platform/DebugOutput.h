#pragma once

#include <string>

namespace brelvo {

// The debug log channel: standard error, one locked write per call.
void debugOutput(const std::string& text);

} // namespace brelvo
