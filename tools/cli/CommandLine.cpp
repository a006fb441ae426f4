// SPDX-License-Identifier: MIT
#include "CommandLine.h"

#include "record/JobStatus.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <getopt.h>

#ifndef BRELVO_VERSION
#define BRELVO_VERSION "0.0.0"
#endif

namespace brelvo_cli {

namespace {

enum OptionCode {
    kAddress = 'a',
    kFirmware = 'f',
    kConfig = 'c',
    kHelp = 'h',
    kJson = 256,
    kVersion,
    kErase,
    kNoUpdateBoot,
    kDevices,
    kIdleExit,
    kReport,
};

const option kCheckOptions[] = {
    {"address", required_argument, nullptr, kAddress},
    {"firmware", required_argument, nullptr, kFirmware},
    {"config", required_argument, nullptr, kConfig},
    {"json", no_argument, nullptr, kJson},
    {"erase", no_argument, nullptr, kErase},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

const option kServeOptions[] = {
    {"address", required_argument, nullptr, kAddress},
    {"firmware", required_argument, nullptr, kFirmware},
    {"config", required_argument, nullptr, kConfig},
    {"json", no_argument, nullptr, kJson},
    {"erase", no_argument, nullptr, kErase},
    {"no-update-boot", no_argument, nullptr, kNoUpdateBoot},
    {"devices", required_argument, nullptr, kDevices},
    {"idle-exit", required_argument, nullptr, kIdleExit},
    {"report", required_argument, nullptr, kReport},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

const option kTopOptions[] = {
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

// Whole decimal numbers only: no sign, no spaces, no other base.
bool parseCount(const char* text, long low, long high, int& out)
{
    if (!*text || std::strspn(text, "0123456789") != std::strlen(text))
        return false;
    errno = 0;
    const long long v = std::strtoll(text, nullptr, 10);
    if (errno || v < low || v > high)
        return false;
    out = static_cast<int>(v);
    return true;
}

bool nonEmpty(const std::string& where, const char* name, const char* value, const char* what, std::string& out,
              std::string& error)
{
    if (!*value) {
        error = where + "--" + name + " wants " + what + ", not an empty text";
        return false;
    }
    out = value;
    return true;
}

// The option as the user wrote it, without a value after '='.
std::string writtenOption(char** argv, int index)
{
    std::string text = argv[index] ? argv[index] : "";
    const size_t eq = text.find('=');
    if (text.compare(0, 2, "--") == 0 && eq != std::string::npos)
        text.resize(eq);
    return text;
}

bool isServeOnly(const std::string& written)
{
    for (const char* name : {"--no-update-boot", "--devices", "--idle-exit", "--report"}) {
        if (written.size() > 2 && std::strncmp(name, written.c_str(), written.size()) == 0)
            return true;
    }
    return false;
}

// Where the command line stands while getopt walks it.
struct ParseState {
    bool haveCommand = false;
    bool serve = false;
    std::string command;
    std::string where; // "check: " or "serve: " before each message; empty before a command
    const option* table = kTopOptions;
    const char* shortOptions = ":h";
    char** first = nullptr; // getopt sees the command as its program name
    int count = 0;
    CheckOptions common;
    bool help = false;
    bool version = false;
};

enum class Taken { No, Yes, Refused };

// The command comes first; before it only --help and --version.
bool readCommand(const std::vector<std::string>& copies, std::vector<char*>& argv, ParseState& st, std::string& error)
{
    st.haveCommand = copies.size() > 1 && copies[1].compare(0, 1, "-") != 0;
    st.command = st.haveCommand ? copies[1] : std::string();
    if (st.haveCommand && st.command != "check" && st.command != "serve") {
        error = "unknown command '" + st.command + "' (the commands are check and serve)";
        return false;
    }
    st.serve = st.command == "serve";
    st.table = !st.haveCommand ? kTopOptions : st.serve ? kServeOptions : kCheckOptions;
    st.shortOptions = !st.haveCommand ? ":h" : ":a:f:c:h";
    st.where = st.haveCommand ? st.command + ": " : std::string();
    st.first = argv.data() + (st.haveCommand ? 1 : 0);
    st.count = static_cast<int>(copies.size()) - (st.haveCommand ? 1 : 0);
    return true;
}

// The options of both commands, and --help and --version before any.
Taken takeCommonOption(int c, const char* value, ParseState& st, std::string& error)
{
    switch (c) {
    case kAddress:
        return nonEmpty(st.where, "address", value, "an IPv4 address of this machine", st.common.address, error)
                   ? Taken::Yes
                   : Taken::Refused;
    case kFirmware:
        return nonEmpty(st.where, "firmware", value, "a folder", st.common.firmwareDir, error) ? Taken::Yes
                                                                                                : Taken::Refused;
    case kConfig:
        return nonEmpty(st.where, "config", value, "a file", st.common.configPath, error) ? Taken::Yes
                                                                                          : Taken::Refused;
    case kJson: st.common.json = true; return Taken::Yes;
    case kErase: st.common.erase = true; return Taken::Yes;
    case kHelp: st.help = true; return Taken::Yes;
    case kVersion: st.version = true; return Taken::Yes;
    default: return Taken::No;
    }
}

Taken takeServeOption(int c, const char* value, const std::string& where, ServeOptions& serve, std::string& error)
{
    switch (c) {
    case kNoUpdateBoot: serve.updateBoot = false; return Taken::Yes;
    case kDevices:
        if (!parseCount(value, 1, 1000000, serve.devices)) {
            error = where + "--devices wants a whole number from 1 to 1000000, not '" + value + "'";
            return Taken::Refused;
        }
        return Taken::Yes;
    case kIdleExit:
        if (!parseCount(value, 1, 31536000, serve.idleExitSeconds)) {
            error = where + "--idle-exit wants whole seconds from 1 to 31536000, not '" + value + "'";
            return Taken::Refused;
        }
        return Taken::Yes;
    case kReport:
        return nonEmpty(where, "report", value, "a file", serve.reportPath, error) ? Taken::Yes : Taken::Refused;
    default: return Taken::No;
    }
}

// What getopt could not take: a missing value, a value too many, an unknown option.
std::string refusal(int c, const ParseState& st)
{
    // A long option written with "=value" that takes none: GNU getopt
    // answers '?', the BSD one of mingw-w64 ':' as for a missing value.
    const char* arg = st.first[::optind - 1] ? st.first[::optind - 1] : "";
    const bool gaveValue = std::strncmp(arg, "--", 2) == 0 && std::strchr(arg, '=');
    if (c == ':' && !gaveValue)
        return st.where + "option '" + writtenOption(st.first, ::optind - 1) + "' needs a value";
    // optopt: a short option's letter, a long option's code when it was
    // given a value it does not take, 0 for an unknown long one.
    const std::string written = ::optopt > 0 && ::optopt < 256 ? std::string("-") + static_cast<char>(::optopt)
                                                               : writtenOption(st.first, ::optind - 1);
    if (::optopt >= 256)
        return st.where + "option '" + written + "' takes no value";
    if (!st.haveCommand)
        return "unknown option '" + written + "' (options come after the command: check or serve)";
    if (!st.serve && isServeOnly(written))
        return st.where + "option '" + written + "' belongs to serve, not check";
    return st.where + "unknown option '" + written + "'";
}

bool readOptions(ParseState& st, ServeOptions& serve, std::string& error)
{
    ::optind = 0; // 0, not 1: GNU getopt starts afresh, also after an earlier parse
    ::opterr = 0;
    for (;;) {
        const int c = ::getopt_long(st.count, st.first, st.shortOptions, st.table, nullptr);
        if (c == -1)
            return true;
        const char* value = ::optarg ? ::optarg : "";
        Taken taken = takeCommonOption(c, value, st, error);
        // getopt only returns the codes of the table in use, so check never
        // meets serve's own options here.
        if (taken == Taken::No)
            taken = takeServeOption(c, value, st.where, serve, error);
        if (taken == Taken::Refused)
            return false;
        if (taken == Taken::No) {
            error = refusal(c, st);
            return false;
        }
    }
}

// After the options: what is left over and what is missing.
bool checkComplete(const ParseState& st, std::string& error)
{
    if (::optind < st.count) {
        error = st.where + "unexpected argument '" + std::string(st.first[::optind]) + "'";
        return false;
    }
    if (!st.haveCommand) {
        error = "no command given (check or serve)";
        return false;
    }
    if (st.common.address.empty()) {
        error = st.where + "--address is required (the local address to serve on)";
        return false;
    }
    if (st.common.firmwareDir.empty()) {
        error = st.where + "--firmware is required (the folder of kvx firmware files)";
        return false;
    }
    return true;
}

} // namespace

bool parseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error)
{
    out = CommandLine();
    std::vector<std::string> copies(args);
    if (copies.empty())
        copies.push_back("brelvo-cli");
    std::vector<char*> argv;
    for (std::string& a : copies)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);

    ParseState st;
    if (!readCommand(copies, argv, st, error) || !readOptions(st, out.serve, error))
        return false;
    if (st.help || st.version) {
        out.action = st.help ? CommandLine::Action::Help : CommandLine::Action::Version;
        return true;
    }
    if (!checkComplete(st, error))
        return false;
    if (st.serve) {
        out.action = CommandLine::Action::Serve;
        static_cast<CheckOptions&>(out.serve) = st.common;
    } else {
        out.action = CommandLine::Action::Check;
        out.check = st.common;
    }
    return true;
}

int serveWriteOptions(const ServeOptions& options)
{
    return (options.updateBoot ? brelvo::OptionUpdateBoot : 0) | (options.erase ? brelvo::OptionEraseBoot : 0);
}

std::string versionText() { return std::string("brelvo-cli ") + BRELVO_VERSION; }

const char* helpText()
{
    return R"(Usage: brelvo-cli check --address ADDRESS --firmware DIR [--config FILE] [--erase]
                        [--json]
  or:  brelvo-cli serve --address ADDRESS --firmware DIR [--config FILE] [--erase]
                        [--json] [--no-update-boot] [--devices N]
                        [--idle-exit SECONDS] [--report FILE]
  or:  brelvo-cli --help | --version

Updates network devices in update mode with firmware from a folder, without
the window. Devices ask on UDP port 3281; each gets a free address of the /24
of ADDRESS and the image for its product code in 1024-byte blocks.

Commands:
  check   look at everything a run depends on (port 3281, the address and its
          network card, the rights to ping, the firmware folder and the
          configuration file) and say what would go wrong; sends nothing
  serve   check, then serve devices until stopped (Ctrl-C or SIGTERM) or a
          limit below is reached; one line per event, progress by tenths
          (on a terminal: a status line per device, redrawn in place)

Options of both commands:
  -a, --address ADDRESS    the local IPv4 address to serve on (required)
  -f, --firmware DIR       the folder of kvx firmware files (required)
  -c, --config FILE        a configuration file of at least 65536 bytes, sent
                           after each image (image and file at most 16 MiB)
      --json               machine-readable output: check prints one JSON
                           document, serve one JSON object per line
      --erase              the devices also erase their configuration
                           partition (--config does not imply it); without
                           --config the check warns
  -h, --help               show this help and exit
      --version            show the version and exit

Options of serve:
      --no-update-boot     do not ask the devices to write the boot partition
      --devices N          stop once N devices have reached a result
      --idle-exit SECONDS  stop after SECONDS in which no device was at work
                           and none asked
      --report FILE        append one line per finished device to FILE
                           (default: a new file per run in
                           $XDG_DATA_HOME/brelvo-tool/reports)

Exit status of check:
  0  nothing wrong was found
  1  warnings: devices may not be served as expected
  2  a run would fail; or the command line is wrong
Exit status of serve (also after a stop by Ctrl-C or SIGTERM, which ends the
devices at work as stopped: they count as neither, as do the devices that
took another tool's Offer, "Served by Another Tool"):
  0  every device that reached a result succeeded (also when none came)
  1  some device failed or timed out
  2  the command line is wrong, or check found a failure other than a held
     port (settings refused)
  3  serving could not start (e.g. UDP port 3281 is held), or stopped
     listening on its own
  4  the run report lost rows (its folder went away, the disk is full, or a
     device was still ending when serving stopped); before 3, 3 before 1
A second signal while stopping exits at once with 128 + its number, and
without the last line, which states the exit status only once it is final.

Sweeping the network for free addresses needs a raw ICMP socket (root or
'sudo setcap cap_net_raw+ep $(command -v brelvo-cli)') or a group inside
net.ipv4.ping_group_range; check says which one applies.
)";
}

} // namespace brelvo_cli
