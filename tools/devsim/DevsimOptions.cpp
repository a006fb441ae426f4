// SPDX-License-Identifier: MIT
#include "DevsimOptions.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <cstdlib>

namespace devsim {

namespace {

bool toLong(const std::string& s, long long lo, long long hi, long long& out)
{
    if (s.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 0);
    if (errno || *end || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool toUnsigned32(const std::string& s, uint32_t& out)
{
    if (s.empty() || s[0] == '-')
        return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(s.c_str(), &end, 0);
    if (errno || *end || v > 0xFFFFFFFFull)
        return false;
    out = uint32_t(v);
    return true;
}

// "A" or "A-B" (both dotted, same /24 not required, B >= A, at most 1024).
bool addAddresses(const std::string& text, std::vector<uint32_t>& out)
{
    auto dash = text.find('-');
    uint32_t a, b;
    if (dash == std::string::npos) {
        if (!parseAddress(text, a))
            return false;
        out.push_back(a);
        return true;
    }
    if (!parseAddress(text.substr(0, dash), a) || !parseAddress(text.substr(dash + 1), b) || b < a ||
        b - a >= 1024)
        return false;
    for (uint32_t x = a; x <= b; ++x)
        out.push_back(x);
    return true;
}

} // namespace

bool parseDevsimOptions(const std::vector<std::string>& args, DevsimOptions& o, std::string& error)
{
    o = DevsimOptions();
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool inlineValue = false;
        auto eq = name.find('=');
        if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        auto flag = [&](const char* n) { return name == n; };
        auto need = [&]() -> bool {
            if (inlineValue)
                return true;
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        auto number = [&](long long lo, long long hi, long long& v) -> bool {
            if (!need())
                return false;
            if (!toLong(value, lo, hi, v)) {
                error = name + " wants a number from " + std::to_string(lo) + " to " + std::to_string(hi) +
                        ", not '" + value + "'";
                return false;
            }
            return true;
        };
        // A switch given a value ("--broadcast=no") is a mistake, not a yes.
        static const char* const kSwitches[] = {"-h", "--help", "--version", "-v", "--verbose", "--broadcast",
                                                "--cpu-report", "--expect-no-offer"};
        if (inlineValue && std::any_of(std::begin(kSwitches), std::end(kSwitches), flag)) {
            error = name + " takes no value";
            return false;
        }
        long long v = 0;
        if (flag("-h") || flag("--help")) {
            o.help = true;
        } else if (flag("--version")) {
            o.version = true;
        } else if (flag("-v") || flag("--verbose")) {
            o.verbose = true;
        } else if (flag("--product")) {
            if (!need())
                return false;
            if (value.size() > kMaxProductCode) {
                error = "--product: a product code has at most " + std::to_string(kMaxProductCode) + " characters";
                return false;
            }
            o.session.product = value;
        } else if (flag("--tool")) {
            if (!need())
                return false;
            if (!parseAddress(value, o.toolAddr)) {
                error = "--tool wants a dotted IPv4 address, not '" + value + "'";
                return false;
            }
            o.haveTool = true;
        } else if (flag("--broadcast")) {
            o.broadcast = true;
        } else if (flag("--tool-port")) {
            if (!number(1, 65535, v))
                return false;
            o.toolPort = uint16_t(v);
        } else if (flag("--bind")) {
            if (!need())
                return false;
            if (!addAddresses(value, o.bindAddrs)) {
                error = "--bind wants an IPv4 address or a range A-B, not '" + value + "'";
                return false;
            }
        } else if (flag("--port")) {
            if (!number(1, 65535, v))
                return false;
            o.basePort = int(v);
        } else if (flag("--count")) {
            if (!number(1, 1000, v))
                return false;
            o.count = int(v);
        } else if (flag("--start-delay")) {
            if (!number(0, 3600000, v))
                return false;
            o.startDelayMs = int(v);
        } else if (flag("--stagger")) {
            if (!number(0, 60000, v))
                return false;
            o.staggerMs = int(v);
        } else if (flag("--timeout")) {
            if (!number(1, 3600000, v))
                return false;
            o.session.timeoutMs = int(v);
        } else if (flag("--offer-timeout")) {
            if (!number(1, 3600000, v))
                return false;
            o.session.offerTimeoutMs = int(v);
        } else if (flag("--retry")) {
            if (!number(1, 60000, v))
                return false;
            o.session.retryMs = int(v);
        } else if (flag("--ack-loss") || flag("--drop-blocks") || flag("--dup-acks") || flag("--reorder-acks")) {
            if (!number(0, 100, v))
                return false;
            if (flag("--ack-loss"))
                o.session.ackLossPercent = int(v);
            else if (flag("--drop-blocks"))
                o.session.dropBlockPercent = int(v);
            else if (flag("--dup-acks"))
                o.session.dupAckPercent = int(v);
            else
                o.session.reorderAckPercent = int(v);
        } else if (flag("--ack-delay")) {
            if (!number(0, 60000, v))
                return false;
            o.session.ackDelayMs = int(v);
        } else if (flag("--seed")) {
            if (!need())
                return false;
            if (!toUnsigned32(value, o.session.seed)) {
                error = "--seed wants an unsigned 32-bit number, not '" + value + "'";
                return false;
            }
        } else if (flag("--progress-steps")) {
            if (!number(0, 100000, v))
                return false;
            o.session.progressSteps = int(v);
        } else if (flag("--progress-interval")) {
            if (!number(0, 60000, v))
                return false;
            o.session.progressIntervalMs = int(v);
        } else if (flag("--result")) {
            if (!need())
                return false;
            if (value == "complete")
                o.session.result = Outcome::Complete;
            else if (value == "check-failed")
                o.session.result = Outcome::CheckFailed;
            else if (value == "write-failed")
                o.session.result = Outcome::WriteFailed;
            else {
                error = "--result wants complete, check-failed or write-failed, not '" + value + "'";
                return false;
            }
        } else if (flag("--expect-checksum")) {
            if (!need())
                return false;
            uint32_t c;
            if (!toUnsigned32(value, c)) {
                error = "--expect-checksum wants an unsigned 32-bit number (0x... for hex), not '" + value + "'";
                return false;
            }
            o.session.expectChecksum = c;
        } else if (flag("--expect-options")) {
            if (!number(0, 255, v))
                return false;
            o.session.expectOptions = int(v);
        } else if (flag("--expect-tool")) {
            if (!need())
                return false;
            uint32_t a;
            if (!parseAddress(value, a)) {
                error = "--expect-tool wants a dotted IPv4 address, not '" + value + "'";
                return false;
            }
            o.session.expectToolAddr = a;
        } else if (flag("--expect-image")) {
            if (!need())
                return false;
            o.expectImagePath = value;
        } else if (flag("--expect-config")) {
            if (!need())
                return false;
            if (value.empty()) {
                error = "--expect-config wants a file name or 'none'";
                return false;
            }
            o.session.expectNoConfig = value == "none";
            o.expectConfigPath = o.session.expectNoConfig ? "" : value;
        } else if (flag("--expect-no-offer")) {
            o.session.expectNoOffer = true;
        } else if (flag("--lose-size")) {
            if (!number(0, 1000, v))
                return false;
            o.session.loseSize = int(v);
        } else if (flag("--ack-stall-after")) {
            if (!number(1, 0xFFFFFFFFll, v))
                return false;
            o.session.ackStallAfter = uint32_t(v);
        } else if (flag("--ack-stall-ms")) {
            if (!number(1, 3600000, v))
                return false;
            o.session.ackStallMs = int(v);
        } else if (flag("--save-image")) {
            if (!need())
                return false;
            o.saveImagePath = value;
        } else if (flag("--stop-after")) {
            if (!need())
                return false;
            long long n = 0;
            if (value == "offer")
                o.session.stopAfter = StopAfter::Offer;
            else if (value == "size")
                o.session.stopAfter = StopAfter::Size;
            else if (value.rfind("blocks:", 0) == 0 && toLong(value.substr(7), 1, 0xFFFFFFFFll, n)) {
                o.session.stopAfter = StopAfter::Blocks;
                o.session.stopAfterBlocks = uint32_t(n);
            } else {
                error = "--stop-after wants offer, size or blocks:N, not '" + value + "'";
                return false;
            }
        } else if (flag("--min-gap-us")) {
            if (!number(1, 1000000, v))
                return false;
            o.session.minGapUs = int(v);
        } else if (flag("--cpu-report")) {
            o.cpuReport = true;
        } else if (flag("--hold-port")) {
            if (!number(1, 65535, v))
                return false;
            o.holdPort = int(v);
        } else if (flag("--hold-seconds")) {
            if (!number(1, 86400, v))
                return false;
            o.holdSeconds = int(v);
        } else {
            error = "unknown option '" + args[i] + "' (see --help)";
            return false;
        }
    }
    if (o.help || o.version)
        return true;
    if (o.holdSeconds && !o.holdPort) {
        error = "--hold-seconds only goes with --hold-port";
        return false;
    }
    if (o.holdPort) {
        if (!o.session.product.empty() || o.haveTool || o.broadcast) {
            error = "--hold-port plays no device: leave out --product, --tool and --broadcast";
            return false;
        }
        return true;
    }
    if (o.session.product.empty()) {
        error = "--product is required: the product code the device announces, e.g. --product ABCDEFG";
        return false;
    }
    if (o.broadcast == o.haveTool) {
        error = o.broadcast ? "give either --tool ADDR or --broadcast, not both"
                            : "say where the tool is: --tool ADDR, or --broadcast to ask the whole network";
        return false;
    }
    if ((!o.expectConfigPath.empty() || o.session.expectNoConfig) && o.expectImagePath.empty()) {
        error = "--expect-config needs --expect-image: the configuration is checked behind the image";
        return false;
    }
    if (bool(o.session.ackStallAfter) != bool(o.session.ackStallMs)) {
        error = o.session.ackStallAfter ? "--ack-stall-after needs --ack-stall-ms: how long the silence lasts"
                                        : "--ack-stall-ms needs --ack-stall-after: after how many acknowledged blocks";
        return false;
    }
    if (o.session.expectNoOffer && o.session.stopAfter != StopAfter::Never) {
        error = "--expect-no-offer and --stop-after contradict each other: without an Offer nothing follows";
        return false;
    }
    if (o.basePort && o.basePort + o.count - 1 > 65535) {
        error = "--port " + std::to_string(o.basePort) + " with --count " + std::to_string(o.count) +
                " runs past port 65535";
        return false;
    }
    return true;
}

const char* devsimHelpText()
{
    return R"(brelvo-devsim - plays one or more network devices in update mode, so the
Brelvo Tool can be tried and tested without hardware.

Each simulated device sends an update request for its product code to UDP
port 3281, waits for the tool's broadcast Offer, asks for the image size,
receives and acknowledges every 1024-byte block, checks the End message
(checksum, write options), reports its write progress and a result.
One line per device is printed at the end, ending with the gaps between
Block arrivals (kernel receive times: min_gap_us, p1_gap_us, median_gap_us,
mean_gap_us; "-" below two blocks).

Exit codes: 0 every device finished without a protocol violation, mismatch
or time-out; 1 otherwise; 2 a command-line or set-up problem (also when
--hold-port cannot bind its port).

Where the tool is (one of):
  --tool ADDR             send the request to ADDR:3281
  --broadcast             send the request to 255.255.255.255:3281
  --tool-port N           another request port (default 3281)

Devices:
  --product CODE          product code to announce (required), e.g. ABCDEFG
  --count N               run N devices at once (default 1)
  --bind ADDR|A-B         source address of the devices; repeat or give a
                          range so each device has its own (used in turn).
                          The address must be configured on this host.
  --port N                device i listens on port N+i (default: any free)
  --start-delay MS        wait before the first request
  --stagger MS            extra delay per device index

Checks:
  --expect-image FILE     the received bytes must equal FILE
  --expect-config FILE|none
                          with --expect-image: FILE must follow the image,
                          masked as the tool sends a configuration (whole
                          32-bit little-endian words from the one holding
                          the image's end XORed with 0x5A3C96E1, a trailing
                          partial word as it is), and End must carry the
                          sum of what arrived; none: nothing may follow
                          the image
  --expect-checksum N     End must carry N (default: the sum of the received
                          32-bit little-endian words); 0x... for hex
  --expect-options N      End must carry option bits N (1 update, 2 erase)
  --expect-tool ADDR      the Offer must name ADDR as the tool's address
  --expect-no-offer       the device succeeds only if no Offer arrives
                          within --offer-timeout
  --min-gap-us N          two Blocks arriving less than N microseconds
                          apart are a violation (off by default)
  --save-image FILE       keep and write what was received (".N" added
                          per device when --count is above 1)

Behaviour:
  --progress-steps N      WriteProgress reports after End (default 0)
  --progress-interval MS  time between them (default 20)
  --result R              complete | check-failed | write-failed (default
                          complete; a checksum mismatch always gives
                          check-failed)
  --ack-loss P            leave P% of acknowledgements unsent
  --drop-blocks P         treat P% of received blocks as lost
  --dup-acks P            send P% of acknowledgements twice
  --reorder-acks P        hold P% of acknowledgements behind the next one
  --ack-delay MS          send every acknowledgement MS later
  --seed N                seed of the random choices above (default 1)
  --lose-size N           treat the first N Size messages as lost: keep
                          repeating Ready until a later Size arrives
  --ack-stall-after N     after acknowledging N blocks, send nothing at all
  --ack-stall-ms MS       for MS milliseconds (blocks arriving meanwhile
                          are kept, not acknowledged), then go on
  --stop-after WHAT       vanish after: offer | size | blocks:N (the device
                          answers nothing from then on)
  --timeout MS            longest wait for each answer (default 10000)
  --offer-timeout MS      longest wait for the Offer (default 30000; the tool
                          sweeps its network before it answers)
  --retry MS              repeat Ready, the first acknowledgement or the
                          request for End after MS of silence (default 500)
  -v, --verbose           print each step to standard error
  --cpu-report            print one more line at the end with this
                          process's CPU time per Block received
  -h, --help              this text
  --version               the program's version

Holding a port instead (no devices, e.g. to play a second tool on 3281):
  --hold-port PORT        bind UDP PORT on 0.0.0.0, print "holding udp PORT"
                          and keep it until interrupted
  --hold-seconds S        ... or for S seconds

Example, with the tool serving on 192.168.1.10:
  brelvo-devsim --tool 192.168.1.10 --product ABCDEFG --progress-steps 4

Note: the Offer arrives as a broadcast to the device's port; a firewall on
this host must let it in.
)";
}

} // namespace devsim
