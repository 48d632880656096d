// The VXI-11 server under abuse: absurd sizes, garbage, a thousand links,
// clients that vanish or never read. Each gets the standard's error or loses
// its connection; memory stays bounded and other clients are served.

#include "support/rpc_test_client.h"
#include "support/session_on_fake_line.h"
#include "support/vxi11_conversation.h"
#include "support/wait_until.h"
#include "vxi11/vxi11_server.h"
#include "vxi11/xdr.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;
using vxi11::Proc;

namespace {

class Vxi11Abuse : public ::testing::Test {
  protected:
    Vxi11Abuse() { EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0)); }
    std::unique_ptr<RpcTestClient> client() {
        auto c = std::make_unique<RpcTestClient>([this] { s.clock.settle(); });
        EXPECT_TRUE(c->connectTo(server.port()));
        return c;
    }
    // A fresh client is still served, and answers as ever.
    void stillServes() {
        auto c = client();
        const qint32 lid = c->createLink();
        ASSERT_GT(lid, 0);
        EXPECT_TRUE(c->ask(lid, "*IDN?").startsWith("Velmora,"));
        c->call(Proc::DestroyLink, RpcTestClient::Link(lid));
    }

    SessionOnFakeLine s;
    ScpiLinks links{*s.session, 10'000};
    vxi11::Server server{s.clock, links.factory()};
};

// A call header and a device_write's arguments up to its data's length.
QByteArray WriteHead(quint32 xid, quint32 dataLength) {
    vxi11::XdrWriter args;
    args.i32(1).u32(1000).u32(0).i32(vxi11::flags::kEnd).u32(dataLength);
    return vxi11::EncodeCall(xid, vxi11::kCoreProgram, 1, quint32(Proc::DeviceWrite), args.bytes());
}

TEST_F(Vxi11Abuse, AWriteAnnouncing2GbIsRefusedAtOnceAndItsBytesDropped) {
    auto c = client();
    const qint32 lid = c->createLink();
    ASSERT_GT(lid, 0);
    const quint32 size = 0x7ffffff0;
    const QByteArray head = WriteHead(77, size - 60);
    c->sendRaw(QByteArray::fromHex("fffffff0") + head);
    const auto reply = c->reply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(RpcTestClient::ErrorOf(vxi11::ParseSuccessReply(*reply, 77)), 5) << "parameter error";
    // Megabytes of it follow; none of it is kept, and the link is untouched.
    const QByteArray chunk(1 << 20, 'x');
    for (int i = 0; i < 8; ++i)
        c->sendRaw(chunk);
    EXPECT_TRUE(
        WaitUntil([&] { return c->socket().bytesToWrite() == 0; }, std::chrono::seconds(10)));
    EXPECT_EQ(server.linkCount(), 1);
    stillServes();
}

TEST_F(Vxi11Abuse, GarbageOnThePortClosesThatConnectionOnly) {
    const QByteArray rows[] = {
        "GET / HTTP/1.1\r\nHost: x\r\n\r\n",
        QByteArray::fromHex("80000004 00000001"),                   // a record too short for a call
        QByteArray::fromHex("8000000c 00000001 00000001 00000000"), // a reply, not a call
        QByteArray("\x80\0\0\x10", 4) + QByteArray(16, '\xff'),
        vxi11::FrameRecord(QByteArray::fromHex("00000005 00000000 00000002 000607af 00000001 "
                                               "0000000a 00000001 00000400")), // credential
                                                                               // past 400
                                                                               // bytes
    };
    for (const QByteArray& garbage : rows) {
        auto c = client();
        c->sendRaw(garbage);
        EXPECT_TRUE(c->closedByServer()) << garbage.toHex(' ').constData();
    }
    EXPECT_TRUE(WaitUntil([&] { return server.connectionCount() == 0; }));
    // RPC version 3 is answered, not closed.
    auto c = client();
    c->sendRaw(vxi11::FrameRecord(
        QByteArray::fromHex("00000009 00000000 00000003 000607af 00000001 0000000a")));
    const auto reply = c->reply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, vxi11::RpcMismatchReply(9));
    stillServes();
}

TEST_F(Vxi11Abuse, AThousandLinksStopAtTheLimits) {
    struct Row {
        int clientLimit;
        int made;
    } rows[] = {{8, 8}, {10'000, vxi11::Server::kMaxLinks}};
    for (const Row& row : rows) {
        links.limit = row.clientLimit;
        auto c = client();
        int made = 0, refused = 0;
        for (int i = 0; i < 1000; ++i) {
            const qint32 error =
                RpcTestClient::ErrorOf(c->call(Proc::CreateLink, RpcTestClient::CreateLink()));
            (error == 0 ? made : refused) += error == 0 || error == 9 ? 1 : 0;
        }
        EXPECT_EQ(made, row.made);
        EXPECT_EQ(refused, 1000 - row.made) << "out of resources";
        EXPECT_EQ(server.linkCount(), row.made);
        c.reset(); // its links go with its connection
        EXPECT_TRUE(WaitUntil([&] { return server.linkCount() == 0 && links.live == 0; }));
    }
    links.limit = 8;
    stillServes();
}

TEST_F(Vxi11Abuse, AClientThatVanishesMidCallTakesItsLinksAndLockAlong) {
    auto c = client();
    const qint32 lid = c->createLink();
    ASSERT_EQ(RpcTestClient::ErrorOf(c->call(Proc::DeviceLock, RpcTestClient::Lock(lid))), 0);
    c->send(vxi11::kCoreProgram, 1, quint32(Proc::DeviceRead),
            RpcTestClient::Read(lid, 1024, 60'000));
    c->sendRaw(QByteArray::fromHex("80001000") + QByteArray(100, 'x')); // and half a call
    EXPECT_FALSE(c->reply(50));
    c->socket().abort();
    EXPECT_TRUE(
        WaitUntil([&] { return server.linkCount() == 0 && server.connectionCount() == 0; }));
    EXPECT_TRUE(WaitUntil([&] { return links.live == 0; })) << "its conversation is gone";
    stillServes(); // and the lock with it
}

TEST_F(Vxi11Abuse, AClientThatNeverReadsItsAnswersIsDisconnected) {
    auto c = client();
    const qint32 lid = c->createLink();
    QByteArray queries;
    for (int i = 0; i < 4000; ++i)
        queries += "*IDN?\n";
    for (qsizetype at = 0; at < queries.size(); at += 60'000)
        c->call(Proc::DeviceWrite, RpcTestClient::Write(lid, queries.mid(at, 60'000), 0));
    EXPECT_TRUE(c->closedByServer(10'000));
    EXPECT_TRUE(WaitUntil([&] { return server.linkCount() == 0; }));
    stillServes();
}

TEST_F(Vxi11Abuse, ConnectionsPastTheLimitAreClosedAtOnce) {
    std::vector<std::unique_ptr<RpcTestClient>> clients;
    for (int i = 0; i < vxi11::Server::kMaxConnections; ++i)
        clients.push_back(client());
    EXPECT_TRUE(
        WaitUntil([&] { return server.connectionCount() == vxi11::Server::kMaxConnections; }));
    RpcTestClient extra([this] { s.clock.settle(); });
    extra.socket().connectToHost(QHostAddress::LocalHost, server.port());
    EXPECT_TRUE(extra.closedByServer());
    EXPECT_EQ(server.connectionCount(), vxi11::Server::kMaxConnections);
    clients.clear();
    EXPECT_TRUE(WaitUntil([&] { return server.connectionCount() == 0; }));
    stillServes();
}

} // namespace
