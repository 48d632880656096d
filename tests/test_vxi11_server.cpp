// The VXI-11 server against real ScpiClients over a session on a fake line,
// driven over loopback: the same answers as a socket client, the standard's
// errors for bad calls, the lock, waits and time-outs on the fake clock, and
// bounds for every kind of abuse.

#include "support/rpc_test_client.h"
#include "support/scpi_conversation.h"
#include "support/vxi11_conversation.h"
#include "support/wait_until.h"
#include "vxi11/vxi11_server.h"
#include "vxi11/xdr.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;
using vxi11::DeviceError;
using vxi11::Proc;
namespace flags = vxi11::flags;
namespace reason = vxi11::reason;

namespace {

struct ReadBack {
    qint32 error = -1;
    qint32 reasons = 0;
    QByteArray data;
};

ReadBack ReadOf(const std::optional<QByteArray>& results) {
    ReadBack back;
    if (!results) return back;
    vxi11::XdrReader in(*results);
    back.error = in.i32().value_or(-1);
    back.reasons = in.i32().value_or(0);
    back.data = in.opaque(1 << 20).value_or(QByteArray());
    return back;
}

class Vxi11Server : public ::testing::Test {
  protected:
    Vxi11Server() { EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0)); }
    std::unique_ptr<RpcTestClient> client() {
        auto c = std::make_unique<RpcTestClient>([this] { s.clock.settle(); });
        EXPECT_TRUE(c->connectTo(server.port()));
        return c;
    }
    qint32 errorOf(RpcTestClient& c, Proc proc, const QByteArray& args) {
        return RpcTestClient::ErrorOf(c.call(proc, args));
    }

    SessionOnFakeLine s{QStringList{QStringLiteral("Netzteil/NLI=2500")}};
    ScpiLinks links{*s.session};
    vxi11::Server server{s.clock, links.factory()};
};

TEST_F(Vxi11Server, ALinkAnswersWhatASocketClientAnswers) {
    auto c = client();
    const qint32 lid = c->createLink();
    ASSERT_GT(lid, 0);
    ScpiClient socketClient(*s.session);
    QByteArray socketAnswer;
    QObject::connect(&socketClient, &ScpiClient::answer,
                     [&](const QByteArray& line) { socketAnswer += line; });
    for (const char* line : {"*IDN?", "SYST:ERR?", "VOLT 5;VOLT?", "CURR 0.5;CURR?", "APPL?",
                             "SYST:VERS?", "OUTP?", "OUTP:PROT:TRIP?", "OUTP:TIM?", "*ESR?",
                             "NOSUCH?;*IDN?", "SYST:ERR?", "VOLT 99", "SYST:ERR?", "PROG:PROG?"}) {
        socketAnswer.clear();
        socketClient.takeLine({line, false});
        s.clock.advanceMs(200);
        ASSERT_EQ(errorOf(*c, Proc::DeviceWrite, RpcTestClient::Write(lid, line)), 0);
        s.clock.advanceMs(200);
        // A line the socket answers nothing answers nothing here either.
        EXPECT_EQ(c->readAnswer(lid, 0), socketAnswer.isEmpty() ? "(read failed)" : socketAnswer)
            << line;
    }
}

TEST_F(Vxi11Server, TheEndFlagEndsALineAsLfDoes) {
    auto c = client();
    const qint32 lid = c->createLink();
    struct Row {
        QByteArrayList writes; // all but the last without END
        QByteArray answer;
    } rows[] = {
        {{"*ID", "N?"}, "Velmora,2.5A/25V,COM2,0.1\n"},
        {{"*IDN?\n"}, "Velmora,2.5A/25V,COM2,0.1\n"},
        {{"*IDN?\r\n"}, "Velmora,2.5A/25V,COM2,0.1\n"},
        {{"*IDN?\nSYST:ERR?"}, "Velmora,2.5A/25V,COM2,0.1\n"}, // then the error's answer
    };
    for (const Row& row : rows) {
        for (qsizetype i = 0; i < row.writes.size(); ++i) {
            const qint32 f = i + 1 == row.writes.size() ? flags::kEnd : 0;
            ASSERT_EQ(errorOf(*c, Proc::DeviceWrite, RpcTestClient::Write(lid, row.writes[i], f)),
                      0);
        }
        EXPECT_EQ(ReadOf(c->call(Proc::DeviceRead, RpcTestClient::Read(lid))).data, row.answer);
    }
    // No empty line and no error came of an END after an LF.
    EXPECT_EQ(ReadOf(c->call(Proc::DeviceRead, RpcTestClient::Read(lid))).data, "0,\"No error\"\n");
}

TEST_F(Vxi11Server, BadCallsGetTheStandardsErrors) {
    auto c = client();
    const qint32 lid = c->createLink();
    struct RpcRow {
        const char* name;
        quint32 program, version, procedure;
        QByteArray args;
        vxi11::AcceptStat stat;
    } rpcRows[] = {
        {"another program", 100003, 1, 10, {}, vxi11::AcceptStat::ProgUnavail},
        {"version 2", vxi11::kCoreProgram, 2, 10, {}, vxi11::AcceptStat::ProgMismatch},
        {"procedure 99", vxi11::kCoreProgram, 1, 99, {}, vxi11::AcceptStat::ProcUnavail},
        {"abort program, procedure 2",
         vxi11::kAbortProgram,
         1,
         2,
         {},
         vxi11::AcceptStat::ProcUnavail},
        {"create_link cut short", vxi11::kCoreProgram, 1, 10, "\0\0\0\1",
         vxi11::AcceptStat::GarbageArgs},
        {"write announcing 2 GB in a short call", vxi11::kCoreProgram, 1, 11,
         QByteArray::fromHex("00000001000003e80000000000000008 7fffffff"),
         vxi11::AcceptStat::GarbageArgs},
        {"read with nothing", vxi11::kCoreProgram, 1, 12, {}, vxi11::AcceptStat::GarbageArgs},
        {"null procedure", vxi11::kCoreProgram, 1, 0, {}, vxi11::AcceptStat::Success},
    };
    for (const RpcRow& row : rpcRows) {
        c->send(row.program, row.version, row.procedure, row.args);
        const auto reply = c->reply();
        ASSERT_TRUE(reply) << row.name;
        vxi11::XdrReader in(*reply);
        for (int i = 0; i < 5; ++i)
            in.u32();
        EXPECT_EQ(in.u32(), quint32(row.stat)) << row.name;
    }

    struct DeviceRow {
        const char* name;
        Proc proc;
        QByteArray args;
        DeviceError error;
    } deviceRows[] = {
        {"write on no link", Proc::DeviceWrite, RpcTestClient::Write(999, "*IDN?"),
         DeviceError::InvalidLink},
        {"read on no link", Proc::DeviceRead, RpcTestClient::Read(999), DeviceError::InvalidLink},
        {"status byte of no link", Proc::DeviceReadStb, RpcTestClient::Generic(999),
         DeviceError::InvalidLink},
        {"destroying no link", Proc::DestroyLink, RpcTestClient::Link(999),
         DeviceError::InvalidLink},
        {"read with nothing queued, no time", Proc::DeviceRead, RpcTestClient::Read(lid, 1024, 0),
         DeviceError::IoTimeout},
        {"unlock without the lock", Proc::DeviceUnlock, RpcTestClient::Link(lid),
         DeviceError::NoLockHeld},
        {"trigger", Proc::DeviceTrigger, RpcTestClient::Generic(lid), DeviceError::NotSupported},
        {"docmd", Proc::DeviceDocmd,
         QByteArray::fromHex(
             "00000001 00000000 000003e8 00000000 00020000 00000001 00000000 00000000")
             .replace(0, 4, RpcTestClient::Link(lid)),
         DeviceError::NotSupported},
        {"create_intr_chan", Proc::CreateIntrChan, QByteArray(20, '\0'), DeviceError::NotSupported},
        {"destroy_intr_chan", Proc::DestroyIntrChan, {}, DeviceError::ChannelNotEstablished},
        {"remote", Proc::DeviceRemote, RpcTestClient::Generic(lid), DeviceError::None},
        {"local", Proc::DeviceLocal, RpcTestClient::Generic(lid), DeviceError::None},
        {"clear", Proc::DeviceClear, RpcTestClient::Generic(lid), DeviceError::None},
    };
    for (const DeviceRow& row : deviceRows)
        EXPECT_EQ(errorOf(*c, row.proc, row.args), qint32(row.error)) << row.name;

    const ReadBack zero = ReadOf(c->call(Proc::DeviceRead, RpcTestClient::Read(lid, 0)));
    EXPECT_EQ(zero.error, 0) << "a read of 0 bytes";
    EXPECT_EQ(zero.reasons, reason::kRequestCount);
    EXPECT_TRUE(zero.data.isEmpty());
    EXPECT_EQ(errorOf(*c, Proc::DestroyLink, RpcTestClient::Link(lid)), 0);
    EXPECT_EQ(errorOf(*c, Proc::DeviceWrite, RpcTestClient::Write(lid, "*IDN?")), 4)
        << "a call on a destroyed link";
    EXPECT_EQ(errorOf(*c, Proc::DestroyLink, RpcTestClient::Link(lid)), 4);
}

TEST_F(Vxi11Server, AReadWaitsForItsAnswerOnATimerAndTimesOut) {
    auto c = client();
    const qint32 lid = c->createLink();
    ASSERT_EQ(errorOf(*c, Proc::DeviceWrite, RpcTestClient::Write(lid, "APPL 5,0.5;*OPC?")), 0);
    const quint32 xid = c->send(vxi11::kCoreProgram, 1, quint32(Proc::DeviceRead),
                                RpcTestClient::Read(lid, 1024, 5000));
    EXPECT_FALSE(c->reply(100)) << "the command is still going out";
    s.clock.advanceMs(300);
    const auto done = c->reply();
    ASSERT_TRUE(done);
    const ReadBack opc = ReadOf(vxi11::ParseSuccessReply(*done, xid));
    EXPECT_EQ(opc.data, "1\n");
    EXPECT_EQ(opc.reasons, reason::kEnd);
    EXPECT_EQ(s.written(), "050\r050\r");

    c->send(vxi11::kCoreProgram, 1, quint32(Proc::DeviceRead), RpcTestClient::Read(lid, 1024, 500));
    EXPECT_FALSE(c->reply(50)); // the server has the call
    s.clock.advanceMs(499);
    EXPECT_FALSE(c->reply(100));
    s.clock.advanceMs(1);
    EXPECT_EQ(ReadOf(vxi11::ParseSuccessReply(c->reply().value_or(QByteArray()), xid + 1)).error,
              15);
}

TEST_F(Vxi11Server, OneLinkHoldsTheLockAndOthersWaitOrAreRefused) {
    auto a = client();
    auto b = client();
    const qint32 la = a->createLink(), lb = b->createLink();
    EXPECT_EQ(errorOf(*a, Proc::DeviceLock, RpcTestClient::Lock(la)), 0);
    EXPECT_EQ(errorOf(*a, Proc::DeviceLock, RpcTestClient::Lock(la)), 11)
        << "the lock is not nested";
    EXPECT_EQ(errorOf(*b, Proc::DeviceWrite, RpcTestClient::Write(lb, "VOLT 1", flags::kEnd)), 11);
    EXPECT_EQ(errorOf(*b, Proc::DeviceReadStb, RpcTestClient::Generic(lb)), 11);
    EXPECT_EQ(errorOf(*b, Proc::DeviceUnlock, RpcTestClient::Link(lb)), 12);
    EXPECT_EQ(errorOf(*a, Proc::DeviceWrite, RpcTestClient::Write(la, "*IDN?")), 0)
        << "its own link";
    EXPECT_EQ(RpcTestClient::ErrorOf(b->call(Proc::CreateLink, RpcTestClient::CreateLink(true, 0))),
              11);

    // Waiting for the lock, up to lock_timeout, on a timer; the unlock lets it in.
    const quint32 waiting =
        b->send(vxi11::kCoreProgram, 1, quint32(Proc::DeviceWrite),
                RpcTestClient::Write(lb, "*IDN?", flags::kEnd | flags::kWaitLock, 1000, 1000));
    EXPECT_FALSE(b->reply(50));
    s.clock.advanceMs(500);
    EXPECT_FALSE(b->reply(100));
    EXPECT_EQ(errorOf(*a, Proc::DeviceUnlock, RpcTestClient::Link(la)), 0);
    EXPECT_EQ(RpcTestClient::ErrorOf(vxi11::ParseSuccessReply(b->reply().value_or(""), waiting)),
              0);

    EXPECT_EQ(errorOf(*b, Proc::DeviceLock, RpcTestClient::Lock(lb)), 0);
    a->send(vxi11::kCoreProgram, 1, quint32(Proc::DeviceLock),
            RpcTestClient::Lock(la, flags::kWaitLock, 300));
    EXPECT_FALSE(a->reply(50));
    s.clock.advanceMs(299);
    EXPECT_FALSE(a->reply(100));
    s.clock.advanceMs(1);
    const auto timedOut = a->reply();
    ASSERT_TRUE(timedOut);
    EXPECT_TRUE(timedOut->endsWith(QByteArray::fromHex("0000000b")));
    // A link destroyed (or whose client went) lets the lock go.
    EXPECT_EQ(errorOf(*b, Proc::DestroyLink, RpcTestClient::Link(lb)), 0);
    EXPECT_EQ(errorOf(*a, Proc::DeviceLock, RpcTestClient::Lock(la)), 0);
}

TEST_F(Vxi11Server, TheAbortChannelEndsAWaitingRead) {
    auto a = client();
    auto other = client();
    const qint32 lid = a->createLink();
    const quint32 xid = a->send(vxi11::kCoreProgram, 1, quint32(Proc::DeviceRead),
                                RpcTestClient::Read(lid, 1024, 60'000));
    EXPECT_FALSE(a->reply(50));
    const quint32 abort = other->send(vxi11::kAbortProgram, 1, 1, RpcTestClient::Link(lid));
    EXPECT_EQ(RpcTestClient::ErrorOf(vxi11::ParseSuccessReply(other->reply().value_or(""), abort)),
              0);
    const auto ended = a->reply();
    ASSERT_TRUE(ended);
    EXPECT_EQ(ReadOf(vxi11::ParseSuccessReply(*ended, xid)).error, 23);
}

TEST_F(Vxi11Server, TheStatusByteAndClear) {
    auto c = client();
    const qint32 lid = c->createLink();
    const auto stb = [&] {
        const auto results = c->call(Proc::DeviceReadStb, RpcTestClient::Generic(lid));
        const QByteArray bytes = results.value_or(QByteArray());
        vxi11::XdrReader in(bytes);
        in.i32();
        return in.u32().value_or(0xff);
    };
    EXPECT_EQ(stb(), 0u);
    c->call(Proc::DeviceWrite, RpcTestClient::Write(lid, "NOSUCH"));
    EXPECT_EQ(stb(), 0x04u) << "the error queue holds an entry";
    c->call(Proc::DeviceWrite, RpcTestClient::Write(lid, "*CLS;*IDN?"));
    EXPECT_EQ(stb(), 0x10u) << "an answer waits: MAV";
    EXPECT_EQ(errorOf(*c, Proc::DeviceClear, RpcTestClient::Generic(lid)), 0);
    EXPECT_EQ(stb(), 0u);
    EXPECT_EQ(ReadOf(c->call(Proc::DeviceRead, RpcTestClient::Read(lid, 1024, 0))).error, 15);
}

} // namespace
