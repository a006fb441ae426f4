// SPDX-License-Identifier: MIT
#include "platform/UdpPortHolders.h"

#include "platform/Socket.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <sstream>
#include <unistd.h>

namespace brelvo {

namespace {

bool parseHex(const std::string& text, size_t maxDigits, unsigned long long& out)
{
    if (text.empty() || text.size() > maxDigits)
        return false;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    }
    out = std::strtoull(text.c_str(), nullptr, 16);
    return true;
}

bool parseDecimal(const std::string& text, unsigned long long max, unsigned long long& out)
{
    if (text.empty() || text.size() > 20)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    errno = 0;
    out = std::strtoull(text.c_str(), nullptr, 10);
    return errno == 0 && out <= max;
}

// "0100007F:0CD1" (IPv4) or 32 hex digits and a port (IPv6): each group of
// eight digits is a 32-bit word as it lies in memory.
bool parseLocal(const std::string& text, bool v6, uint16_t& port, std::string& shown)
{
    const size_t colon = text.find(':');
    const size_t digits = v6 ? 32 : 8;
    if (colon != digits)
        return false;
    unsigned long long p = 0;
    if (!parseHex(text.substr(colon + 1), 4, p))
        return false;
    unsigned char bytes[16];
    for (size_t w = 0; w < digits / 8; ++w) {
        unsigned long long word = 0;
        if (!parseHex(text.substr(w * 8, 8), 8, word))
            return false;
        const uint32_t v = static_cast<uint32_t>(word);
        std::memcpy(bytes + w * 4, &v, 4);
    }
    char address[INET6_ADDRSTRLEN] = "?";
    ::inet_ntop(v6 ? AF_INET6 : AF_INET, bytes, address, sizeof address);
    port = static_cast<uint16_t>(p);
    shown = v6 ? "[" + std::string(address) + "]:" + std::to_string(p) : std::string(address) + ":" + std::to_string(p);
    return true;
}

void readTable(const std::string& path, bool v6, uint16_t port, std::vector<UdpPortHolder>& out)
{
    std::ifstream in(path);
    std::string line;
    if (!std::getline(in, line)) // column titles
        return;
    while (std::getline(in, line)) {
        // sl local rem st tx:rx tr:when retrnsmt uid timeout inode ...
        std::istringstream fields(line);
        std::string sl, local, remote, st, queues, timer, retransmits, uid, timeout, inode;
        if (!(fields >> sl >> local >> remote >> st >> queues >> timer >> retransmits >> uid >> timeout >> inode))
            continue;
        UdpPortHolder holder;
        uint16_t boundPort = 0;
        unsigned long long uidValue = 0, inodeValue = 0;
        if (!parseLocal(local, v6, boundPort, holder.local) || boundPort != port ||
            !parseDecimal(uid, 0xFFFFFFFFull, uidValue) || !parseDecimal(inode, ~0ull, inodeValue) ||
            inodeValue == 0)
            continue;
        holder.uid = static_cast<uint32_t>(uidValue);
        holder.inode = inodeValue;
        out.push_back(std::move(holder));
    }
}

std::string readSmallFile(const std::string& path, size_t limit)
{
    std::ifstream in(path, std::ios::binary);
    std::string text;
    char buffer[512];
    while (in && text.size() < limit) {
        in.read(buffer, static_cast<std::streamsize>(sizeof buffer));
        text.append(buffer, static_cast<size_t>(in.gcount()));
    }
    if (text.size() > limit)
        text.resize(limit);
    return text;
}

bool isNumber(const char* s)
{
    if (!*s)
        return false;
    for (; *s; ++s) {
        if (*s < '0' || *s > '9')
            return false;
    }
    return true;
}

ProcessInfo describeProcess(const std::string& procRoot, const std::string& pid)
{
    ProcessInfo info;
    info.pid = std::atoi(pid.c_str());
    info.comm = readSmallFile(procRoot + "/" + pid + "/comm", 64);
    while (!info.comm.empty() && info.comm.back() == '\n')
        info.comm.pop_back();
    std::string cmd = readSmallFile(procRoot + "/" + pid + "/cmdline", 4096);
    while (!cmd.empty() && cmd.back() == '\0')
        cmd.pop_back();
    for (char& c : cmd) {
        if (c == '\0')
            c = ' ';
    }
    info.commandLine = cmd;
    return info;
}

} // namespace

std::vector<UdpPortHolder> findUdpPortHolders(uint16_t port, const std::string& procRoot)
{
    std::vector<UdpPortHolder> holders;
    readTable(procRoot + "/net/udp", false, port, holders);
    readTable(procRoot + "/net/udp6", true, port, holders);
    if (holders.empty())
        return holders;

    DIR* proc = ::opendir(procRoot.c_str());
    if (!proc)
        return holders;
    while (const dirent* p = ::readdir(proc)) {
        if (!isNumber(p->d_name))
            continue;
        const std::string pid = p->d_name;
        const std::string fdDir = procRoot + "/" + pid + "/fd";
        DIR* fds = ::opendir(fdDir.c_str()); // fails for other users' processes without rights
        if (!fds)
            continue;
        std::vector<size_t> held;
        while (const dirent* f = ::readdir(fds)) {
            if (!isNumber(f->d_name))
                continue;
            char target[128];
            const ssize_t n = ::readlink((fdDir + "/" + f->d_name).c_str(), target, sizeof target - 1);
            if (n <= 0)
                continue;
            target[n] = '\0';
            unsigned long long inode = 0;
            if (std::strncmp(target, "socket:[", 8) != 0 || target[n - 1] != ']')
                continue;
            if (!parseDecimal(std::string(target + 8, static_cast<size_t>(n) - 9), ~0ull, inode))
                continue;
            for (size_t i = 0; i < holders.size(); ++i) {
                if (holders[i].inode == inode)
                    held.push_back(i);
            }
        }
        ::closedir(fds);
        if (held.empty())
            continue;
        const ProcessInfo info = describeProcess(procRoot, pid);
        for (size_t i : held) {
            auto& list = holders[i].processes;
            // One process may hold the socket through several descriptors.
            if (list.empty() || list.back().pid != info.pid)
                list.push_back(info);
        }
    }
    ::closedir(proc);
    return holders;
}

int tryBindUdpPort(uint16_t port)
{
    const SocketHandle s = openUdpSocket();
    if (s == kInvalidSocket)
        return lastSocketError();
    const int result = bindSocket(s, 0, htons(port)) == 0 ? 0 : lastSocketError();
    closeSocket(s);
    return result;
}

bool isAddressInUseError(int code) { return code == EADDRINUSE; }

} // namespace brelvo
