#pragma once
// Shared pieces of the end-to-end tests: a firmware folder, a server started
// on the tool side of the private namespace pair, and the device simulator
// run on the device side.

#include "TestFixtures.h"

#include "server/UpdateServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace brelvo_it {

using namespace std::chrono_literals;
using brelvo_test::NetnsEnv;
using brelvo_test::TempDir;

constexpr const char* kProduct = "ABCDEFG";
constexpr uint32_t kConfigMask = 0x5A3C96E1u;

#define BRELVO_REQUIRE_NETNS(env)                                                                          \
    auto env = brelvo_test::NetnsEnv::fromEnvironment();                                                   \
    if (!env.usable())                                                                                     \
        GTEST_SKIP() << env.skipReason;                                                                    \
    if (env.devsim.empty())                                                                                \
        GTEST_SKIP() << "brelvo-devsim was not built, so there is no device to talk to"

// A firmware folder holding kvx_ABCDEFG_V2.bin and its version file.
struct FirmwareFolder {
    TempDir dir;
    std::vector<uint8_t> image;
    std::string imagePath;

    explicit FirmwareFolder(size_t size, uint32_t seed = 0xB1E55EDu, const std::string& product = kProduct)
    {
        image = brelvo_test::patternBytes(size, seed);
        imagePath = dir.writeBytes("kvx_" + product + "_V2.bin", image);
        char line[64];
        std::snprintf(line, sizeof line, "checksum=0x%08x\r\n", brelvo_test::wordSum(image));
        dir.writeText("kvx_" + product + "_V2-ver.bin", "version=2\r\nproduct=" + product + "\r\n" + line);
    }
    std::string checksumArg() const
    {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%08x", brelvo_test::wordSum(image));
        return buf;
    }
};

// The bytes a device must receive when a configuration is appended: image,
// then configuration, the words from the image's last whole word on XORed
// with the mask, a trailing partial word left alone. Written here from the
// description of the file format, not from the engine's code.
inline std::vector<uint8_t> expectedWithConfig(const std::vector<uint8_t>& image, const std::vector<uint8_t>& config)
{
    std::vector<uint8_t> all(image);
    all.insert(all.end(), config.begin(), config.end());
    size_t firstMasked = image.size() / 4, words = all.size() / 4;
    for (size_t w = firstMasked; w < words; ++w)
        for (int b = 0; b < 4; ++b)
            all[w * 4 + size_t(b)] ^= uint8_t(kConfigMask >> (8 * b));
    return all;
}

inline bool udpPortInUse(uint16_t port)
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    bool inUse = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno == EADDRINUSE;
    close(fd);
    return inUse;
}

// Starts the server and waits until its listener holds port 3281 (the sweep
// runs after that; requests sent meanwhile wait in the socket's queue).
inline ::testing::AssertionResult startServer(brelvo::UpdateServer& server, const std::string& dir,
                                              const std::string& config, const NetnsEnv& env, int options = 3)
{
    if (server.start(dir, config, env.toolAddr, options) != 0)
        return ::testing::AssertionFailure() << "start refused";
    if (!brelvo_test::waitFor([] { return udpPortInUse(3281); }, 5s))
        return ::testing::AssertionFailure() << "listener never bound UDP 3281";
    return ::testing::AssertionSuccess();
}

inline bool stopAndWaitIdle(brelvo::UpdateServer& server, std::chrono::milliseconds limit = 10s)
{
    server.stop();
    return brelvo_test::waitFor([&] { return server.isIdle(); }, limit, 20ms);
}

inline std::vector<std::string> devsimCommand(const NetnsEnv& env, std::vector<std::string> args)
{
    std::vector<std::string> argv{env.devsim, "--product", kProduct, "--tool", env.toolAddr};
    argv.insert(argv.end(), args.begin(), args.end());
    return brelvo_test::inDeviceNamespace(env, argv);
}

// One "device N ..." summary line of the simulator, as key=value pairs
// (plus "endpoint").
inline std::map<std::string, std::string> deviceLine(const std::string& output, int index)
{
    std::istringstream in(output);
    std::string prefix = "device " + std::to_string(index) + " ";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) != 0 || line.find(" result=") == std::string::npos)
            continue;
        std::map<std::string, std::string> kv;
        std::istringstream words(line.substr(prefix.size()));
        std::string w;
        words >> w;
        kv["endpoint"] = w;
        while (words >> w) {
            auto eq = w.find('=');
            if (eq != std::string::npos)
                kv[w.substr(0, eq)] = w.substr(eq + 1);
        }
        return kv;
    }
    return {};
}

inline std::string hostPart(const std::string& endpoint) { return endpoint.substr(0, endpoint.find(':')); }

} // namespace brelvo_it
