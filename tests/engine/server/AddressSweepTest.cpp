// SPDX-License-Identifier: MIT
// The sweep in a private namespace whose /24 answers pings except at its
// top: with a raw socket as root, and as nobody through the unprivileged
// datagram socket (whose replies carry the kernel's identifier, not ours).
#include "EngineTestSupport.h"
#include "platform/AddressText.h"
#include "server/AddressSweep.h"

using namespace brelvo;
using namespace brelvo_test;

namespace {
std::vector<std::string> sweep(IcmpMethod want)
{
    uint32_t found[255];
    IcmpMethod method = IcmpMethod::None;
    const int n = sweepFreeAddresses("10.213.9.1", 300, found, 255, nullptr, &method);
    CHILD_CHECK(method == want && n >= 0);
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i)
        out.push_back(addressToText(found[i]));
    return out;
}
} // namespace

TEST(AddressSweep, OnlySilentHostsAreFreeWhicheverSocketPings)
{
    inPrivateNetns([] {
        answeringBelow(251);
        const std::vector<std::string> silent{"10.213.9.251", "10.213.9.252", "10.213.9.253"};
        CHILD_CHECK(sweep(IcmpMethod::Raw) == silent);
        sh("sysctl -qw net.ipv4.ping_group_range='0 2147483647'");
        CHILD_CHECK(asNobody([&] { CHILD_CHECK(sweep(IcmpMethod::Datagram) == silent); }));
    });
}
