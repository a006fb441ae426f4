// SPDX-License-Identifier: MIT
#include "ServeOptions.h"

#include "record/JobStatus.h"

namespace brelvo_cli {

int serveWriteOptions(const ServeOptions& options)
{
    return (options.updateBoot ? brelvo::OptionUpdateBoot : 0) | (options.erase ? brelvo::OptionEraseBoot : 0);
}

} // namespace brelvo_cli
