// SPDX-License-Identifier: MIT
#include "platform/FileIdentity.h"

#include <tuple>

namespace brelvo {

bool FileIdentity::operator<(const FileIdentity& o) const
{
    return std::tie(device, inode, size, mtimeNs, ctimeNs, kind) <
           std::tie(o.device, o.inode, o.size, o.mtimeNs, o.ctimeNs, o.kind);
}

bool identitySettled(const FileIdentity& id, int64_t readStartNs, int64_t settleNs)
{
    return readStartNs - id.ctimeNs >= settleNs;
}

} // namespace brelvo
