// SPDX-License-Identifier: MIT
#include "DevsimOptions.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

// One row per option. What an option does with its value is the row's own
// business; spelling, value-taking and refusals are shared by all rows. A new
// row also wants its lines in devsimHelpText() and in the manual page.
enum class Takes { Nothing, Number, Text };

struct Option {
    const char* name;
    const char* alias; // a second spelling, or nullptr
    Takes takes;
    long long lo, hi;  // Takes::Number: the accepted range
    // Takes::Text: the message when `read` refuses the value; {name} and
    // {value} stand for the option and the refused value.
    std::string refusal;
    void (*turnOn)(DevsimOptions&);                     // Takes::Nothing
    void (*store)(DevsimOptions&, long long);           // Takes::Number
    bool (*read)(DevsimOptions&, const std::string&);   // Takes::Text: false refuses
};

Option onOff(const char* name, const char* alias, void (*turnOn)(DevsimOptions&))
{
    return {name, alias, Takes::Nothing, 0, 0, {}, turnOn, nullptr, nullptr};
}

Option number(const char* name, long long lo, long long hi, void (*store)(DevsimOptions&, long long))
{
    return {name, nullptr, Takes::Number, lo, hi, {}, nullptr, store, nullptr};
}

Option text(const char* name, std::string refusal, bool (*read)(DevsimOptions&, const std::string&))
{
    return {name, nullptr, Takes::Text, 0, 0, std::move(refusal), nullptr, nullptr, read};
}

// Short names keep most rows on one line.
using O = DevsimOptions;
using V = const std::string&; // the value as given

const std::vector<Option>& optionTable()
{
    static const std::vector<Option> table = {
        onOff("--help", "-h", [](O& o) { o.help = true; }),
        onOff("--version", nullptr, [](O& o) { o.version = true; }),
        onOff("--verbose", "-v", [](O& o) { o.verbose = true; }),

        // Where the tool is.
        text("--tool", "{name} wants a dotted IPv4 address, not '{value}'",
             [](O& o, V v) {
                 if (!parseAddress(v, o.toolAddr))
                     return false;
                 o.haveTool = true;
                 return true;
             }),
        onOff("--broadcast", nullptr, [](O& o) { o.broadcast = true; }),
        number("--tool-port", 1, 65535, [](O& o, long long v) { o.toolPort = uint16_t(v); }),

        // Devices.
        text("--product", "{name}: a product code has at most " + std::to_string(kMaxProductCode) + " characters",
             [](O& o, V v) {
                 if (v.size() > kMaxProductCode)
                     return false;
                 o.session.product = v;
                 return true;
             }),
        number("--count", 1, 1000, [](O& o, long long v) { o.count = int(v); }),
        text("--bind", "{name} wants an IPv4 address or a range A-B, not '{value}'",
             [](O& o, V v) { return addAddresses(v, o.bindAddrs); }),
        number("--port", 1, 65535, [](O& o, long long v) { o.basePort = int(v); }),
        number("--start-delay", 0, 3600000, [](O& o, long long v) { o.startDelayMs = int(v); }),
        number("--stagger", 0, 60000, [](O& o, long long v) { o.staggerMs = int(v); }),

        // Checks.
        text("--expect-image", "{name} wants a file name", [](O& o, V v) {
            o.expectImagePath = v;
            return !v.empty();
        }),
        text("--expect-config", "{name} wants a file name or 'none'",
             [](O& o, V v) {
                 if (v.empty())
                     return false;
                 o.session.expectNoConfig = v == "none";
                 o.expectConfigPath = o.session.expectNoConfig ? "" : v;
                 return true;
             }),
        text("--expect-checksum", "{name} wants an unsigned 32-bit number (0x... for hex), not '{value}'",
             [](O& o, V v) {
                 uint32_t c;
                 if (!toUnsigned32(v, c))
                     return false;
                 o.session.expectChecksum = c;
                 return true;
             }),
        number("--expect-options", 0, 255, [](O& o, long long v) { o.session.expectOptions = int(v); }),
        text("--expect-tool", "{name} wants a dotted IPv4 address, not '{value}'",
             [](O& o, V v) {
                 uint32_t a;
                 if (!parseAddress(v, a))
                     return false;
                 o.session.expectToolAddr = a;
                 return true;
             }),
        onOff("--expect-no-offer", nullptr, [](O& o) { o.session.expectNoOffer = true; }),
        number("--min-gap-us", 1, 1000000, [](O& o, long long v) { o.session.minGapUs = int(v); }),
        text("--save-image", "{name} wants a file name", [](O& o, V v) {
            o.saveImagePath = v;
            return !v.empty();
        }),

        // Behaviour.
        number("--progress-steps", 0, 100000, [](O& o, long long v) { o.session.progressSteps = int(v); }),
        number("--progress-interval", 0, 60000, [](O& o, long long v) { o.session.progressIntervalMs = int(v); }),
        text("--result", "{name} wants complete, check-failed or write-failed, not '{value}'",
             [](O& o, V v) {
                 if (v == "complete")
                     o.session.result = Outcome::Complete;
                 else if (v == "check-failed")
                     o.session.result = Outcome::CheckFailed;
                 else if (v == "write-failed")
                     o.session.result = Outcome::WriteFailed;
                 else
                     return false;
                 return true;
             }),
        number("--ack-loss", 0, 100, [](O& o, long long v) { o.session.ackLossPercent = int(v); }),
        number("--drop-blocks", 0, 100, [](O& o, long long v) { o.session.dropBlockPercent = int(v); }),
        number("--dup-acks", 0, 100, [](O& o, long long v) { o.session.dupAckPercent = int(v); }),
        number("--reorder-acks", 0, 100, [](O& o, long long v) { o.session.reorderAckPercent = int(v); }),
        number("--ack-delay", 0, 60000, [](O& o, long long v) { o.session.ackDelayMs = int(v); }),
        text("--seed", "{name} wants an unsigned 32-bit number, not '{value}'",
             [](O& o, V v) { return toUnsigned32(v, o.session.seed); }),
        number("--lose-size", 0, 1000, [](O& o, long long v) { o.session.loseSize = int(v); }),
        number("--ack-stall-after", 1, 0xFFFFFFFFll, [](O& o, long long v) { o.session.ackStallAfter = uint32_t(v); }),
        number("--ack-stall-ms", 1, 3600000, [](O& o, long long v) { o.session.ackStallMs = int(v); }),
        text("--stop-after", "{name} wants offer, size or blocks:N, not '{value}'",
             [](O& o, V v) {
                 long long n = 0;
                 if (v == "offer") {
                     o.session.stopAfter = StopAfter::Offer;
                 } else if (v == "size") {
                     o.session.stopAfter = StopAfter::Size;
                 } else if (v.rfind("blocks:", 0) == 0 && toLong(v.substr(7), 1, 0xFFFFFFFFll, n)) {
                     o.session.stopAfter = StopAfter::Blocks;
                     o.session.stopAfterBlocks = uint32_t(n);
                 } else {
                     return false;
                 }
                 return true;
             }),
        number("--timeout", 1, 3600000, [](O& o, long long v) { o.session.timeoutMs = int(v); }),
        number("--offer-timeout", 1, 3600000, [](O& o, long long v) { o.session.offerTimeoutMs = int(v); }),
        number("--retry", 1, 60000, [](O& o, long long v) { o.session.retryMs = int(v); }),
        onOff("--cpu-report", nullptr, [](O& o) { o.cpuReport = true; }),

        // Holding a port instead.
        number("--hold-port", 1, 65535, [](O& o, long long v) { o.holdPort = int(v); }),
        number("--hold-seconds", 1, 86400, [](O& o, long long v) { o.holdSeconds = int(v); }),
    };
    return table;
}

const Option* findOption(const std::string& name)
{
    for (const Option& option : optionTable())
        if (name == option.name || (option.alias && name == option.alias))
            return &option;
    return nullptr;
}

void replaceFirst(std::string& text, const char* token, const std::string& by)
{
    auto at = text.find(token);
    if (at != std::string::npos)
        text.replace(at, std::strlen(token), by);
}

// An argument as written: "--name=value" carries its value, anything else is
// only a name (a value, if the option takes one, is the next argument).
struct Given {
    std::string name;
    std::string value;
    bool hasValue = false;
};

Given split(const std::string& arg)
{
    Given g;
    g.name = arg;
    auto eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
        g.name = arg.substr(0, eq);
        g.value = arg.substr(eq + 1);
        g.hasValue = true;
    }
    return g;
}

// `g` has its value when the option takes one.
bool applyOption(const Option& option, const Given& g, DevsimOptions& o, std::string& error)
{
    switch (option.takes) {
    case Takes::Nothing:
        // A switch given a value ("--broadcast=no") is a mistake, not a yes.
        if (g.hasValue) {
            error = g.name + " takes no value";
            return false;
        }
        option.turnOn(o);
        return true;
    case Takes::Number: {
        long long v = 0;
        if (!toLong(g.value, option.lo, option.hi, v)) {
            error = g.name + " wants a number from " + std::to_string(option.lo) + " to " +
                    std::to_string(option.hi) + ", not '" + g.value + "'";
            return false;
        }
        option.store(o, v);
        return true;
    }
    case Takes::Text:
        if (!option.read(o, g.value)) {
            error = option.refusal;
            replaceFirst(error, "{name}", g.name);
            replaceFirst(error, "{value}", g.value);
            return false;
        }
        return true;
    }
    return false;
}

// Options that are each fine but do not go together. Runs after all of
// them were read, so the order on the command line does not matter.
bool checkCombinations(const DevsimOptions& o, std::string& error)
{
    auto refuse = [&](std::string why) {
        error = std::move(why);
        return false;
    };
    if (o.holdSeconds && !o.holdPort)
        return refuse("--hold-seconds only goes with --hold-port");
    if (o.holdPort) {
        if (!o.session.product.empty() || o.haveTool || o.broadcast)
            return refuse("--hold-port plays no device: leave out --product, --tool and --broadcast");
        return true;
    }
    if (o.session.product.empty())
        return refuse("--product is required: the product code the device announces, e.g. --product ABCDEFG");
    if (o.broadcast && o.haveTool)
        return refuse("give either --tool ADDR or --broadcast, not both");
    if (!o.broadcast && !o.haveTool)
        return refuse("say where the tool is: --tool ADDR, or --broadcast to ask the whole network");
    if ((!o.expectConfigPath.empty() || o.session.expectNoConfig) && o.expectImagePath.empty())
        return refuse("--expect-config needs --expect-image: the configuration is checked behind the image");
    if (o.session.ackStallAfter && !o.session.ackStallMs)
        return refuse("--ack-stall-after needs --ack-stall-ms: how long the silence lasts");
    if (o.session.ackStallMs && !o.session.ackStallAfter)
        return refuse("--ack-stall-ms needs --ack-stall-after: after how many acknowledged blocks");
    if (o.session.expectNoOffer && o.session.stopAfter != StopAfter::Never)
        return refuse("--expect-no-offer and --stop-after contradict each other: without an Offer nothing follows");
    if (o.basePort && o.basePort + o.count - 1 > 65535)
        return refuse("--port " + std::to_string(o.basePort) + " with --count " + std::to_string(o.count) +
                      " runs past port 65535");
    return true;
}

} // namespace

bool parseDevsimOptions(const std::vector<std::string>& args, DevsimOptions& o, std::string& error)
{
    o = DevsimOptions();
    for (size_t i = 0; i < args.size(); ++i) {
        Given g = split(args[i]);
        const Option* option = findOption(g.name);
        if (!option) {
            error = "unknown option '" + args[i] + "' (see --help)";
            return false;
        }
        if (option->takes != Takes::Nothing && !g.hasValue) {
            // Whatever it looks like: "--product --count" names a product.
            if (i + 1 >= args.size()) {
                error = g.name + " needs a value";
                return false;
            }
            g.value = args[++i];
            g.hasValue = true;
        }
        if (!applyOption(*option, g, o, error))
            return false;
    }
    if (o.help || o.version)
        return true;
    return checkCombinations(o, error);
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
--hold-port cannot bind its port). An interrupt (Ctrl-C, SIGTERM) ends every
device and prints the summaries; a second one ends at once with 128 + its
signal's number.

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
