// SPDX-License-Identifier: MIT
// Whole updates over real sockets, simulated devices judging every byte.

#include "IntegrationHelpers.h"

using namespace brelvo_it;

// The image alone with both option bits, and with a configuration appended
// and masked, arrive byte for byte; so does the image alone to a device that
// loses two Size messages (asked for again, answered again) and to one that
// stalls for three seconds in its acknowledgements.
TEST(Transfer, ImageAloneAndWithMaskedConfigurationArriveByteExact)
{
    BRELVO_REQUIRE_NETNS(env);
    FirmwareFolder fw(300 * 1024 + 3); // neither whole blocks nor whole words
    for (size_t configSize : {size_t(0), size_t(65536 + 7)}) {
        // From the word holding the image's tail on, whole words are XORed
        // with the mask (little-endian); a partial last word is not.
        auto config = brelvo_test::patternBytes(configSize, 0xC0FFEEu);
        auto expected = fw.image;
        expected.insert(expected.end(), config.begin(), config.end());
        for (size_t w = fw.image.size() / 4; w < expected.size() / 4; ++w)
            for (unsigned b = 0; b < 4; ++b)
                expected[w * 4 + b] ^= uint8_t(0x5A3C96E1u >> (8 * b));
        const int options = configSize ? 1 : 3;
        Server server(fw, env, configSize ? fw.dir.writeBytes("device.cfg", config) : "", options);
        const std::vector<std::vector<std::string>> devices = {
            {"--expect-tool", env.toolAddr}, {"--lose-size", "2", "--retry", "200"},
            {"--ack-stall-after", "100", "--ack-stall-ms", "3000"}};
        for (size_t i = 0; i < (configSize ? 1 : devices.size()); ++i) {
            std::vector<std::string> args{"--bind", env.devAddrs[0], "--expect-options", std::to_string(options),
                                          "--expect-checksum", std::to_string(brelvo_test::wordSum(expected)),
                                          "--expect-image", fw.dir.writeBytes("expected.out", expected)};
            args.insert(args.end(), devices[i].begin(), devices[i].end());
            if (!configSize) // and nothing after it
                args.insert(args.end(), {"--expect-config", "none"});
            const auto r = brelvo_test::runProcess(devsimCommand(env, args), 60s);
            ASSERT_EQ(r.exitCode, 0) << devices[i][0] << "\n" << r.output;
            auto job = server.waitJob(int(i), DeviceWriteComplete);
            ASSERT_TRUE(job) << devices[i][0];
            EXPECT_TRUE(job->progress() == 100 && job->isFinished());
            // Lent from the sweep's pool: on the tool's /24, answering no ping.
            const std::string lent = job->lentAddressText();
            unsigned host = 0;
            EXPECT_NE(r.output.find(" lent=" + lent + " "), std::string::npos) << "the Offer carried another address";
            EXPECT_TRUE(std::sscanf(lent.c_str(), "10.213.7.%u", &host) == 1 && host >= 2 && host <= 253 && host != 50)
                << lent;
        }
    }
}
