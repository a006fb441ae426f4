// SPDX-License-Identifier: MIT
// Which findings of the check keep serve from starting (exit 2): any
// failure but a held port, which is the start's own failure (exit 3).
#include "RunServe.h"

#include <gtest/gtest.h>

using brelvo::FindingId;
using brelvo::Severity;

TEST(RunServe, OnlyAHeldPortLetsServeTryToStart)
{
    auto f = [](Severity s, FindingId id) {
        brelvo::Finding finding;
        finding.severity = s;
        finding.id = id;
        return finding;
    };
    using brelvo_cli::refusesSettings;
    EXPECT_FALSE(refusesSettings({}));
    EXPECT_FALSE(refusesSettings({f(Severity::Failure, FindingId::PortInUse)}));
    EXPECT_FALSE(refusesSettings({f(Severity::Failure, FindingId::PortProbeFailed),
                                  f(Severity::Warning, FindingId::SubnetShared)}));
    EXPECT_TRUE(refusesSettings({f(Severity::Failure, FindingId::PortInUse), f(Severity::Failure, FindingId::IcmpNone)}));
    EXPECT_TRUE(refusesSettings({f(Severity::Failure, FindingId::AddressNotLocal)}));
    EXPECT_FALSE(refusesSettings({f(Severity::Info, FindingId::AddressNotLocal)}));
}
