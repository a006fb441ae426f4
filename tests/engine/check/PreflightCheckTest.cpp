// SPDX-License-Identifier: MIT
// Everything a run depends on, checked before it starts: the firmware
// folder and configuration file on real files; the port, the address and
// the rights to ping in private network namespaces made for each case
// (their cards are joined to nothing; nothing is sent).
#include "EngineTestSupport.h"
#include "check/FindingText.h"
#include "check/PreflightCheck.h"
#include "firmware/ImageStore.h"
#include "platform/AddressText.h"
#include "record/EventFormat.h"

#include <algorithm>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>

using namespace brelvo;
using namespace brelvo_test;

namespace {

// The findings with `id`.
std::vector<Finding> only(const std::vector<Finding>& all, FindingId id)
{
    std::vector<Finding> out;
    for (const Finding& f : all)
        if (f.id == id)
            out.push_back(f);
    return out;
}

std::string ids(const std::vector<Finding>& all)
{
    std::string out;
    for (const Finding& f : all)
        out += std::string(out.empty() ? "" : " ") + findingIdName(f.id) + "/" + severityName(f.severity);
    return out;
}

// The one finding with `id` (in a child: anything else ends it).
Finding single(const std::vector<Finding>& findings, FindingId id)
{
    const std::vector<Finding> found = only(findings, id);
    CHILD_CHECK(found.size() == 1);
    return found[0];
}

// A file of `size` bytes without writing them (reads as zeros).
std::string sparseFile(const TempDir& dir, const std::string& name, uint64_t size)
{
    const std::string path = dir.writeText(name, "");
    std::filesystem::resize_file(path, size);
    return path;
}

std::string hex(uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

std::string versionText(const std::string& product, uint32_t checksum)
{
    return "product=" + product + "\nchecksum=" + hex(checksum) + "\n";
}

int boundUdpSocket(int family, const char* address, uint16_t port)
{
    const int s = ::socket(family, SOCK_DGRAM, 0);
    int off = 0;
    sockaddr_in a{};
    sockaddr_in6 a6{};
    a.sin_family = AF_INET, a.sin_port = htons(port), a.sin_addr.s_addr = addressFromText(address);
    a6.sin6_family = AF_INET6, a6.sin6_port = htons(port);
    if (family == AF_INET6)
        ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    const int bound = family == AF_INET ? ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a)
                                        : ::bind(s, reinterpret_cast<sockaddr*>(&a6), sizeof a6);
    return bound == 0 ? s : -1;
}

} // namespace

// What goes wrong with one product's files, with and without a usable
// configuration file beside them.
TEST(FirmwareFindings, EveryWayAnImageFails)
{
    // 4099 bytes: neither whole blocks nor whole words.
    const std::vector<uint8_t> image = patternBytes(4099, 3);
    const uint32_t good = wordSum(image);
    enum { kImage = 1, kConfig = 2, kGood = 4 }; // kGood: another model beside it can be served
    const struct Case {
        const char* name;
        std::string version; // contents of the version file; "-": none
        int with;
        FindingId id;
        Severity severity;
    } cases[] = {
        {"matching", versionText("DEMOCAM", good), kImage, FindingId::FirmwareChoice, Severity::Info},
        {"matching, config", versionText("DEMOCAM", good), kImage | kConfig, FindingId::FirmwareChoice, Severity::Info},
        {"checksum off", versionText("DEMOCAM", good + 1), kImage, FindingId::FirmwareChecksumMismatch,
         Severity::Warning},
        {"checksum off, config", versionText("DEMOCAM", good + 1), kImage | kConfig,
         FindingId::FirmwareChecksumMismatch, Severity::Failure},
        {"no checksum line", "product=DEMOCAM\n", kImage, FindingId::FirmwareChecksumMismatch, Severity::Warning},
        {"last checksum line wins", versionText("DEMOCAM", good) + "Checksum=5\n", kImage | kConfig,
         FindingId::FirmwareChecksumMismatch, Severity::Failure},
        {"other product", "product=DEMOCAM\nproduct=OTHERXX\n", kImage, FindingId::FirmwareModelMismatch,
         Severity::Failure},
        {"no version file", "-", kImage, FindingId::FirmwareVersionMissing, Severity::Failure},
        // A broken model fails its own devices only: beside a good one it is a warning.
        {"no image", versionText("DEMOCAM", good), 0, FindingId::FirmwareImageMissing, Severity::Failure},
        {"no image, beside a good model", versionText("DEMOCAM", good), kGood, FindingId::FirmwareImageMissing,
         Severity::Warning},
    };
    for (const Case& c : cases) {
        TempDir dir;
        if (c.with & kImage)
            dir.writeBytes("kvx_DEMOCAM_V2.bin", image);
        if (c.with & kGood) {
            dir.writeBytes("kvx_GOODCAM.bin", image);
            dir.writeText("kvx_GOODCAM-ver.bin", versionText("GOODCAM", good));
        }
        if (c.version != "-")
            dir.writeText("kvx_DEMOCAM_V2-ver.bin", c.version);
        const std::string config = c.with & kConfig ? sparseFile(dir, "config.dat", kMinConfigBytes) : "";
        const auto findings = checkFirmwareFolder(dir.path(), config);
        // A version file naming another product also serves that product (and fails it).
        std::vector<Finding> hits;
        for (const Finding& f : only(findings, c.id))
            if (f.arg("code") == "DEMOCAM")
                hits.push_back(f);
        ASSERT_EQ(hits.size(), 1u) << c.name << ": " << ids(findings);
        // ... and nothing else is said against that code: one fault, one finding.
        const auto against = std::count_if(findings.begin(), findings.end(), [](const Finding& f) {
            return f.arg("code") == "DEMOCAM" && f.severity != Severity::Info;
        });
        EXPECT_EQ(against, c.severity == Severity::Info ? 0 : 1) << c.name << ": " << ids(findings);
        EXPECT_EQ(hits[0].severity, c.severity) << c.name;
        EXPECT_EQ(worstSeverity(findings), c.severity) << c.name << ": " << ids(findings);
        EXPECT_FALSE(findingMessage(hits[0]).empty());
        EXPECT_EQ(findingRemedy(hits[0]).empty(), c.severity == Severity::Info) << c.name;
        if (c.id == FindingId::FirmwareChoice) { // the partial block counts, the partial word does not
            EXPECT_TRUE(hits[0].arg("size") == "4099" && hits[0].arg("blocks") == "5" &&
                        hits[0].arg("checksum") == hex(good)) << c.name;
            const std::string sent = "with the configuration: 69635 bytes, 69 blocks";
            EXPECT_EQ(std::count(hits[0].details.begin(), hits[0].details.end(), sent), c.with & kConfig ? 1 : 0);
        }
    }

    // An image that sums to 0 needs no checksum line: 0 is what is sent.
    TempDir zero;
    sparseFile(zero, "kvx_ZEROIMG.bin", 8192);
    zero.writeText("kvx_ZEROIMG-ver.bin", "product=ZEROIMG\n");
    EXPECT_EQ(worstSeverity(checkFirmwareFolder(zero.path(), "")), Severity::Info);
    // A version file naming another product serves that one, not its name's.
    zero.writeText("kvx_ZEROIMG-ver.bin", "product=OTHERXX\n");
    const auto choices = only(checkFirmwareFolder(zero.path(), ""), FindingId::FirmwareChoice);
    ASSERT_EQ(choices.size(), 1u);
    EXPECT_EQ(choices[0].arg("code"), "OTHERXX");
}

// What a job refuses by size: the image alone beyond what a device can be
// told (32 bits), image and configuration beyond 16 MiB.
TEST(FirmwareFindings, ImageAndConfigurationAgainstTheSizeLimits)
{
    const FindingId fine = FindingId::FirmwareChoice;
    const struct {
        uint64_t image, config; // config 0: none
        FindingId id;
    } cases[] = {{kMaxImageWithConfigBytes - kMinConfigBytes, kMinConfigBytes, fine},
                 {kMaxImageWithConfigBytes - kMinConfigBytes + 1, kMinConfigBytes, FindingId::FirmwareTooLarge},
                 {kMaxImageWithConfigBytes + 4, kMinConfigBytes, FindingId::FirmwareTooLarge},
                 {1024, kMaxImageWithConfigBytes, FindingId::FirmwareTooLarge},
                 {kMaxImageWithConfigBytes + 4, 0, fine},
                 // Sparse: the index still reads it whole for its lines, as a request does.
                 {kMaxImageBytes + 1, 0, FindingId::FirmwareImageTooLarge}};
    for (const auto& c : cases) {
        TempDir dir;
        sparseFile(dir, "kvx_BIGIMAG.bin", c.image); // zeros: checksum 0 matches no line
        dir.writeText("kvx_BIGIMAG-ver.bin", "product=BIGIMAG\n");
        const std::string config = c.config ? sparseFile(dir, "config.dat", c.config) : "";
        const auto findings = checkFirmwareFolder(dir.path(), config);
        const auto hit = only(findings, c.id);
        ASSERT_EQ(hit.size(), 1u) << c.image << "+" << c.config << ": " << ids(findings);
        EXPECT_EQ(worstSeverity(findings), c.id == fine ? Severity::Info : Severity::Failure) << ids(findings);
        EXPECT_EQ(hit[0].arg("size"), std::to_string(c.image));
        EXPECT_EQ(hit[0].arg("total"), c.id == FindingId::FirmwareTooLarge ? std::to_string(c.image + c.config) : "");
    }
}

// A folder that cannot be served from, a configuration file of the wrong
// kind or size: one finding each, saying which.
TEST(FirmwareFindings, TheFolderAndTheConfigurationFileThemselves)
{
    TempDir dir;
    const std::string file = dir.writeText("plain", "x");
    const std::string empty = dir.file("empty"), others = dir.file("others"), fifo = dir.file("fifo");
    std::filesystem::create_directory(empty);
    std::filesystem::create_directory(others);
    dir.writeText("others/readme.txt", "product=DEMOCAM\n");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    enum { Folder, Config };
    const struct {
        int checks;
        std::string path;
        FindingId id;
        Severity severity;
    } cases[] = {{Folder, dir.file("missing"), FindingId::FolderMissing, Severity::Failure},
                 {Folder, file, FindingId::FolderMissing, Severity::Failure},
                 {Folder, "", FindingId::FolderMissing, Severity::Failure}, // never the root
                 {Folder, empty, FindingId::FolderEmpty, Severity::Warning},
                 {Folder, others, FindingId::FolderEmpty, Severity::Warning},
                 {Config, "", FindingId::ConfigNone, Severity::Info},
                 {Config, dir.file("missing"), FindingId::ConfigMissing, Severity::Failure},
                 {Config, dir.path(), FindingId::ConfigNotRegular, Severity::Failure},
                 {Config, fifo, FindingId::ConfigNotRegular, Severity::Failure}, // never opened: it would block
                 {Config, sparseFile(dir, "empty.cfg", 0), FindingId::ConfigTooShort, Severity::Failure},
                 {Config, sparseFile(dir, "short", kMinConfigBytes - 1), FindingId::ConfigTooShort, Severity::Failure},
                 {Config, sparseFile(dir, "exact", kMinConfigBytes), FindingId::ConfigOk, Severity::Info},
                 {Config, sparseFile(dir, "large", kMaxImageWithConfigBytes), FindingId::ConfigOk, Severity::Info}};
    for (const auto& c : cases) {
        const auto findings = c.checks == Folder ? checkFirmwareFolder(c.path, "") : checkConfigurationFile(c.path);
        ASSERT_EQ(findings.size(), 1u) << c.path << ": " << ids(findings);
        EXPECT_EQ(findings[0].id, c.id) << c.path << ": " << ids(findings);
        EXPECT_EQ(findings[0].severity, c.severity) << c.path;
    }
}

TEST(ConfigFindings, UnreadableForThisUser)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a file only root can read";
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const std::string path = sparseFile(dir, "secret", kMinConfigBytes);
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    inChild([&] {
        CHILD_CHECK(asNobody([&] {
            const auto findings = checkConfigurationFile(path);
            CHILD_CHECK(findings.size() == 1 && findings[0].id == FindingId::ConfigUnreadable);
            CHILD_CHECK(findings[0].arg("error") == "Permission denied");
        }));
    });
}

TEST(PortFindings, NamesTheHolderAsFarAsRightsAllow)
{
    inPrivateNetns([] {
        CHILD_CHECK(checkRequestPort(3281)[0].id == FindingId::PortFree);

        // This process itself.
        int s = boundUdpSocket(AF_INET, "0.0.0.0", 3281);
        CHILD_CHECK(s >= 0);
        Finding f = single(checkRequestPort(3281), FindingId::PortInUse);
        CHILD_CHECK(f.severity == Severity::Failure);
        CHILD_CHECK(f.arg("pid") == std::to_string(::getpid()));
        CHILD_CHECK(f.arg("process") + "\n" == readText("/proc/self/comm"));
        CHILD_CHECK(f.arg("self") == "yes");
        CHILD_CHECK(findingMessage(f).find("this program itself") != std::string::npos);
        ::close(s);
        CHILD_CHECK(checkRequestPort(3281)[0].id == FindingId::PortFree);

        // Another process, on the loopback address only: still in the way of 0.0.0.0.
        int ready[2];
        CHILD_CHECK(::pipe(ready) == 0);
        const pid_t holder = ::fork();
        if (holder == 0) {
            ::prctl(PR_SET_NAME, "brv-holder");
            const int h = boundUdpSocket(AF_INET, "127.0.0.1", 3281);
            ::write(ready[1], h >= 0 ? "y" : "n", 1);
            ::pause();
            ::_exit(0);
        }
        char answer = 0;
        CHILD_CHECK(::read(ready[0], &answer, 1) == 1 && answer == 'y');
        f = single(checkRequestPort(3281), FindingId::PortInUse);
        CHILD_CHECK(f.arg("pid") == std::to_string(holder));
        CHILD_CHECK(f.arg("process") == "brv-holder");
        CHILD_CHECK(f.arg("self") == "no");
        CHILD_CHECK(f.arg("holders") == "pid " + std::to_string(holder) + " (brv-holder)");
        CHILD_CHECK(f.details.size() == 1 && f.details[0].find("127.0.0.1:3281") != std::string::npos);
        CHILD_CHECK(findingRemedy(f).find("kill " + std::to_string(holder)) != std::string::npos);

        // Someone who may not look into root's processes learns only the owner.
        CHILD_CHECK(asNobody([] {
            const Finding n = single(checkRequestPort(3281), FindingId::PortInUse);
            CHILD_CHECK(n.arg("pid").empty() && n.arg("uid") == "0");
            CHILD_CHECK(findingMessage(n).find("unknown process") != std::string::npos);
        }));
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);

        // A dual-stack IPv6 socket takes the IPv4 port as well.
        s = boundUdpSocket(AF_INET6, "", 3281);
        if (s >= 0) {
            f = single(checkRequestPort(3281), FindingId::PortInUse);
            CHILD_CHECK(f.details.size() == 1 && f.details[0].find("[::]:3281") != std::string::npos);
            ::close(s);
        }
    });
}

TEST(AddressFindings, InterfaceStateNeighboursAndRoutes)
{
    inPrivateNetns([] {
        // a0 is the card to serve on; b0 and c0 are other cards.
        sh("ip link add a0 type veth peer name a1 && ip addr add 10.50.0.1/24 dev a0 && "
           "ip link set a0 up && ip link set a1 up");
        sh("ip link add b0 type veth peer name b1 && ip link set b0 up && ip link set b1 up");
        for (const char* text : {"", "not-an-address", "1.2.3.4.5", "255.255.255.255", "0.0.0.0"}) {
            const Finding f = single(checkLocalAddress(text), FindingId::AddressInvalid);
            CHILD_CHECK(f.severity == Severity::Failure && f.arg("text") == text);
            CHILD_CHECK(f.arg("local") == "10.50.0.1 (a0)");
        }
        Finding f = single(checkLocalAddress("10.50.0.2"), FindingId::AddressNotLocal);
        CHILD_CHECK(findingRemedy(f) == "choose one of: 10.50.0.1 (a0)");
        f = single(checkLocalAddress("127.0.0.1"), FindingId::AddressLoopback);
        CHILD_CHECK(f.severity == Severity::Warning);

        // A veth pair's carrier comes up a moment after the links are set up.
        std::vector<Finding> all;
        waitFor([&] { return (all = checkLocalAddress("10.50.0.1")).size() == 1 && all[0].id == FindingId::InterfaceOk; },
                std::chrono::seconds(5));
        CHILD_CHECK(all.size() == 1 && all[0].id == FindingId::InterfaceOk && all[0].arg("interface") == "a0");
        CHILD_CHECK(all[0].arg("prefix") == "24");

        sh("ip link set a1 down"); // the far end: no carrier here
        waitFor([] { return !only(checkLocalAddress("10.50.0.1"), FindingId::InterfaceNoCarrier).empty(); },
                std::chrono::seconds(5));
        f = single(checkLocalAddress("10.50.0.1"), FindingId::InterfaceNoCarrier);
        CHILD_CHECK(f.severity == Severity::Warning);
        sh("ip link set a0 down");
        f = single(checkLocalAddress("10.50.0.1"), FindingId::InterfaceDown);
        CHILD_CHECK(f.severity == Severity::Failure);
        CHILD_CHECK(findingRemedy(f) == "switch it on: sudo ip link set a0 up");
        sh("ip link set a0 up && ip link set a1 up");

        // Another card in the same /24 (any prefix), and one in another /24.
        sh("ip addr add 10.50.0.200/16 dev b0 && ip addr add 10.50.1.7/24 dev b0");
        f = single(checkLocalAddress("10.50.0.1"), FindingId::SubnetShared);
        CHILD_CHECK(f.arg("other") == "b0" && f.arg("otherAddress") == "10.50.0.200/16");
        CHILD_CHECK(f.arg("network") == "10.50.0.0/24");
        // A second address on the same card is no second card.
        sh("ip addr del 10.50.0.200/16 dev b0 && ip addr add 10.50.0.3/24 dev a0");
        CHILD_CHECK(only(checkLocalAddress("10.50.0.1"), FindingId::SubnetShared).empty());

        // Default routes: through the card itself nothing to say, through another a warning.
        sh("ip route add default dev a0");
        CHILD_CHECK(only(checkLocalAddress("10.50.0.1"), FindingId::DefaultRouteElsewhere).empty());
        sh("ip route add default via 10.50.1.1 dev b0 metric 10");
        f = single(checkLocalAddress("10.50.0.1"), FindingId::DefaultRouteElsewhere);
        CHILD_CHECK(f.arg("routeInterface") == "b0" && f.arg("gateway") == "10.50.1.1");

        // A network narrower than the swept /24.
        sh("ip addr add 10.60.0.1/25 dev a0");
        f = single(checkLocalAddress("10.60.0.1"), FindingId::PrefixNarrow);
        CHILD_CHECK(f.arg("prefix") == "25" && f.arg("network") == "10.60.0.0/24");
    });
}

TEST(IcmpFindings, RawDatagramOrNone)
{
    inPrivateNetns([] {
        CHILD_CHECK(icmpMethodAvailable() == IcmpMethod::Raw);
        CHILD_CHECK(single(checkIcmpRights("brelvo-cli"), FindingId::IcmpRaw).arg("reason") == "root");

        sh("sysctl -w net.ipv4.ping_group_range='1 0'");
        CHILD_CHECK(asNobody([] {
            CHILD_CHECK(icmpMethodAvailable() == IcmpMethod::None);
            const Finding f = single(checkIcmpRights("brelvo-tool"), FindingId::IcmpNone);
            CHILD_CHECK(f.severity == Severity::Failure && f.arg("range") == "1 0" && f.arg("groups") == "65534");
            CHILD_CHECK(findingRemedy(f).find("setcap cap_net_raw+ep $(command -v brelvo-tool)") != std::string::npos);
            CHILD_CHECK(findingRemedy(f).find("ping_group_range=\"0 2147483647\"") != std::string::npos);
        }));

        sh("sysctl -w net.ipv4.ping_group_range='65000 65534'");
        CHILD_CHECK(asNobody([] {
            CHILD_CHECK(icmpMethodAvailable() == IcmpMethod::Datagram);
            const Finding f = single(checkIcmpRights("brelvo-cli"), FindingId::IcmpDatagram);
            CHILD_CHECK(f.severity == Severity::Info && f.arg("group") == "65534");
        }));
    });
}
