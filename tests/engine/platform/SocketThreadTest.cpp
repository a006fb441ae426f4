#include "platform/AddressText.h"
#include "platform/Socket.h"
#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

using namespace brelvo;

namespace {

const uint32_t kLoopback = addressFromText("127.0.0.1");

SocketHandle boundLoopbackUdp(SocketAddress* bound)
{
    SocketHandle s = openUdpSocket();
    EXPECT_NE(s, kInvalidSocket);
    EXPECT_EQ(bindSocket(s, kLoopback, 0), 0);
    EXPECT_EQ(socketName(s, bound), 0);
    return s;
}

} // namespace

TEST(Socket, LoopbackDatagramKeepsSourceInNetworkOrder)
{
    SocketAddress a, b;
    SocketHandle sa = boundLoopbackUdp(&a);
    SocketHandle sb = boundLoopbackUdp(&b);
    EXPECT_EQ(a.address, kLoopback);
    EXPECT_NE(a.port, 0);

    EXPECT_EQ(waitReadable(sb, 0, 0), 0); // nothing queued: a poll times out
    const char msg[] = "upd:hello";
    EXPECT_EQ(sendTo(sa, msg, sizeof msg, b), static_cast<int>(sizeof msg));
    EXPECT_EQ(waitReadable(sb, 5, 0), 1);
    char buf[64] = {};
    SocketAddress from;
    EXPECT_EQ(receiveFrom(sb, buf, sizeof buf, &from), static_cast<int>(sizeof msg));
    EXPECT_STREQ(buf, msg);
    EXPECT_EQ(from, a);

    // A datagram longer than the buffer is cut to it.
    char big[300];
    std::memset(big, 'x', sizeof big);
    sendTo(sa, big, sizeof big, b);
    EXPECT_EQ(waitReadable(sb, 5, 0), 1);
    EXPECT_EQ(receiveFrom(sb, buf, 10, nullptr), 10);

    closeSocket(sa);
    closeSocket(sb);
}

TEST(Socket, FailuresAreReported)
{
    SocketAddress a;
    SocketHandle sa = boundLoopbackUdp(&a);
    SocketHandle other = openUdpSocket();
    EXPECT_NE(bindSocket(other, kLoopback, a.port), 0); // port taken
    EXPECT_NE(lastSocketError(), 0);
    closeSocket(other);
    closeSocket(sa);

    EXPECT_EQ(waitReadable(kInvalidSocket, 0, 0), -1);
    char buf[4];
    EXPECT_EQ(receiveFrom(kInvalidSocket, buf, sizeof buf, nullptr), -1);
    EXPECT_TRUE(isTimeoutError(EAGAIN));
    EXPECT_FALSE(isTimeoutError(ECONNREFUSED));
}

TEST(Socket, AbortableWaitEndsOnAbortOrData)
{
    SocketAddress a;
    SocketHandle sa = boundLoopbackUdp(&a);
    std::atomic<bool> abort{true};
    // Already aborted: reported as a time-out whatever the length of the wait.
    EXPECT_EQ(waitReadableAbortable(sa, 60000, &abort), 0);
    abort = false;
    sendTo(sa, "x", 1, a);
    EXPECT_EQ(waitReadableAbortable(sa, 60000, &abort), 1);
    closeSocket(sa);
}

TEST(Thread, StartsJoinsAndRefusesASecondStart)
{
    std::atomic<int> runs{0};
    Thread t;
    EXPECT_FALSE(t.joinable());
    ASSERT_EQ(t.start([&] { ++runs; }), 0);
    EXPECT_TRUE(t.joinable());
    EXPECT_EQ(t.start([&] { ++runs; }), -1); // still attached
    t.join();
    EXPECT_FALSE(t.joinable());
    EXPECT_EQ(runs.load(), 1);
    EXPECT_EQ(t.start(std::function<void()>()), -1); // no body
    ASSERT_EQ(t.start([&] { ++runs; throw 1; }), 0); // nothing escapes
    t.join();
    EXPECT_EQ(runs.load(), 2);
}
