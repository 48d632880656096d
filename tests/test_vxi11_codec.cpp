// VXI-11's bytes: XDR, record marking, RPC calls and replies, each
// procedure's arguments and results, a read's share of the answers and the
// rpcbind calls, as tables of exact bytes; libtirpc's XDR as a yardstick.

#include "vxi11/answer_queue.h"
#include "vxi11/rpc_message.h"
#include "vxi11/rpc_record.h"
#include "vxi11/rpcbind_messages.h"
#include "vxi11/vxi11_protocol.h"
#include "vxi11/xdr.h"

#include <gtest/gtest.h>
#include <rpc/rpc.h>

using namespace velmora::vxi11;

namespace {

// "00 00 00 01" and the like: spaces are for reading only.
QByteArray Hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

TEST(Xdr, WritesBigEndianWordsAndPadsOpaques) {
    struct Row {
        std::function<void(XdrWriter&)> write;
        const char* bytes;
    } rows[] = {
        {[](XdrWriter& w) { w.u32(1); }, "00000001"},
        {[](XdrWriter& w) { w.i32(-1); }, "ffffffff"},
        {[](XdrWriter& w) { w.boolean(true).boolean(false); }, "00000001 00000000"},
        {[](XdrWriter& w) { w.opaque(""); }, "00000000"},
        {[](XdrWriter& w) { w.opaque("a"); }, "00000001 61000000"},
        {[](XdrWriter& w) { w.opaque("inst0"); }, "00000005 696e737430 000000"},
        {[](XdrWriter& w) { w.opaque("abcd"); }, "00000004 61626364"},
    };
    for (const Row& row : rows) {
        XdrWriter w;
        row.write(w);
        EXPECT_EQ(w.bytes().toHex(' '), Hex(row.bytes).toHex(' '));
    }
}

TEST(Xdr, ReadingFailsOnShortOrOverlongItemsAndStaysFailed) {
    struct Row {
        const char* bytes;
        quint32 bound;
        bool ok;
    } rows[] = {
        {"00000003 616263 00", 8, true},
        {"00000003 616263", 8, false},      // padding missing
        {"00000009 616263 00", 8, false},   // over the bound
        {"7fffffff", 0xffffffff, false},    // 2 GB announced, nothing there
        {"ffffffff 00", 0xffffffff, false}, // 4 GB: no overflow
        {"0000", 8, false},                 // not even a length
    };
    for (const Row& row : rows) {
        const QByteArray bytes = Hex(row.bytes);
        XdrReader in(bytes);
        EXPECT_EQ(in.opaque(row.bound).has_value(), row.ok) << row.bytes;
        EXPECT_EQ(in.failed(), !row.ok);
        if (!row.ok) {
            EXPECT_FALSE(in.u32().has_value()) << "a failed reader reads nothing more";
        }
    }
    const QByteArray two = Hex("00000002");
    XdrReader boolean(two);
    EXPECT_FALSE(boolean.boolean().has_value()) << "XDR booleans are 0 or 1";
}

// libtirpc's own routines write the same bytes for the same items.
TEST(Xdr, MatchesLibtirpc) {
    char buffer[64] = {};
    XDR xdrs;
    xdrmem_create(&xdrs, buffer, sizeof buffer, XDR_ENCODE);
    int32_t error = 11;
    u_int lid = 4;
    bool_t yes = 1;
    char* text = const_cast<char*>("inst0");
    ASSERT_TRUE(xdr_int32_t(&xdrs, &error));
    ASSERT_TRUE(xdr_u_int(&xdrs, &lid));
    ASSERT_TRUE(xdr_bool(&xdrs, &yes));
    ASSERT_TRUE(xdr_string(&xdrs, &text, 64));
    const QByteArray theirs(buffer, qsizetype(xdr_getpos(&xdrs)));
    xdr_destroy(&xdrs);
    XdrWriter ours;
    ours.i32(11).u32(4).boolean(true).opaque("inst0");
    EXPECT_EQ(ours.bytes().toHex(' '), theirs.toHex(' '));
}

TEST(RecordMarking, FramesAndCutsRecords) {
    EXPECT_EQ(FrameRecord("abcd").toHex(' '), Hex("80000004 61626364").toHex(' '));
    using E = RecordReader::Event;
    struct Row {
        const char* name;
        const char* stream;
        std::vector<E> events;
    } rows[] = {
        {"one record", "80000002 6869", {{E::Record, "hi"}}},
        {"two fragments", "00000001 68 80000001 69", {{E::Record, "hi"}}},
        {"two records", "80000001 61 80000001 62", {{E::Record, "a"}, {E::Record, "b"}}},
        {"empty record", "80000000", {{E::Record, ""}}},
        {"unfinished", "80000004 6869", {}},
        {"header alone", "8000", {}},
        {"2 GB announced: the head, then nothing kept",
         "fffffffc 00000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "0000000000000000000000000000000000000000000000000000000000000000000000",
         {{E::Oversized, QByteArray(60, '\0')}}},
        {"fragments adding up past the bound",
         "00000008 6161616161616161 80000008 6262626262626262",
         {{E::Oversized, "aaaaaaaabbbbbbbb"}}},
    };
    for (const Row& row : rows) {
        // Fed whole and byte by byte: the same events.
        for (const bool bytewise : {false, true}) {
            RecordReader reader(12);
            std::vector<E> events;
            const QByteArray stream = Hex(row.stream);
            for (qsizetype i = 0; i < stream.size(); i += bytewise ? 1 : stream.size()) {
                reader.append(stream.mid(i, bytewise ? 1 : stream.size()));
                while (auto event = reader.next())
                    events.push_back(*event);
            }
            EXPECT_EQ(events, row.events) << row.name << (bytewise ? ", byte by byte" : "");
            EXPECT_LE(reader.buffered(), 80) << row.name;
        }
    }
}

TEST(RecordMarking, AnOversizedRecordIsSkippedAndTheNextOneRead) {
    RecordReader reader(16);
    reader.append(Hex("80000050") + QByteArray(0x50, 'x') + FrameRecord("next"));
    EXPECT_EQ(reader.next()->kind, RecordReader::Event::Oversized);
    const auto next = reader.next();
    ASSERT_TRUE(next);
    EXPECT_EQ(*next, (RecordReader::Event{RecordReader::Event::Record, "next"}));
}

constexpr const char* kCallHead = "00000007 00000000 00000002 000607af 00000001 0000000b";

TEST(RpcMessage, ReadsCallsWithAnyCredentials) {
    struct Row {
        const char* name;
        QByteArray record;
        ParsedCall::Kind kind;
        quint32 procedure;
        QByteArray args;
    } rows[] = {
        {"AUTH_NONE", Hex(kCallHead) + Hex("00000000 00000000 00000000 00000000 0000002a"),
         ParsedCall::Call, 11, Hex("0000002a")},
        {"AUTH_SYS with a body",
         Hex(kCallHead) + Hex("00000001 00000008 0102030405060708 00000000 00000000"),
         ParsedCall::Call,
         11,
         {}},
        {"credential over 400 bytes",
         Hex(kCallHead) + Hex("00000001 00000200"),
         ParsedCall::NotACall,
         0,
         {}},
        {"RPC version 3", Hex("00000007 00000000 00000003"), ParsedCall::WrongRpcVersion, 0, {}},
        {"a reply", Hex("00000007 00000001 00000000"), ParsedCall::NotACall, 0, {}},
        {"cut header", Hex("00000007 00000000 00000002 000607af"), ParsedCall::NotACall, 0, {}},
        {"text", "GET / HTTP/1.1\r\n", ParsedCall::NotACall, 0, {}},
    };
    for (const Row& row : rows) {
        const ParsedCall parsed = ParseCall(row.record);
        EXPECT_EQ(parsed.kind, row.kind) << row.name;
        if (row.kind == ParsedCall::Call) {
            EXPECT_EQ(parsed.call.xid, 7u);
            EXPECT_EQ(parsed.call.program, kCoreProgram);
            EXPECT_EQ(parsed.call.procedure, row.procedure);
            EXPECT_EQ(parsed.call.args, row.args) << row.name;
        }
        if (row.kind == ParsedCall::WrongRpcVersion) {
            EXPECT_EQ(parsed.call.xid, 7u);
        }
    }
}

TEST(RpcMessage, WritesReplies) {
    struct Row {
        QByteArray reply;
        const char* bytes;
    } rows[] = {
        {SuccessReply(7, Hex("00000000")),
         "00000007 00000001 00000000 00000000 00000000 00000000 00000000"},
        {ErrorReply(7, AcceptStat::ProgUnavail),
         "00000007 00000001 00000000 00000000 00000000 00000001"},
        {ProgMismatchReply(7, 1, 1),
         "00000007 00000001 00000000 00000000 00000000 00000002 00000001 00000001"},
        {ErrorReply(7, AcceptStat::ProcUnavail),
         "00000007 00000001 00000000 00000000 00000000 00000003"},
        {ErrorReply(7, AcceptStat::GarbageArgs),
         "00000007 00000001 00000000 00000000 00000000 00000004"},
        {RpcMismatchReply(7), "00000007 00000001 00000001 00000000 00000002 00000002"},
        {EncodeCall(9, 100000, 4, 1, Hex("aa000000")),
         "00000009 00000000 00000002 000186a0 00000004 00000001 00000000 00000000 00000000 "
         "00000000 aa000000"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.reply.toHex(' '), Hex(row.bytes).toHex(' '));
    EXPECT_EQ(ParseSuccessReply(SuccessReply(7, "abcd"), 7), QByteArray("abcd"));
    EXPECT_FALSE(ParseSuccessReply(SuccessReply(7, "abcd"), 8)) << "another call's reply";
    EXPECT_FALSE(ParseSuccessReply(ErrorReply(7, AcceptStat::SystemErr), 7));
}

TEST(RpcMessage, TheStartOfARecordMayBeACallOrNot) {
    struct Row {
        const char* head;
        bool mayBe;
    } rows[] = {
        {"", true},
        {"00000007", true},
        {"00000007 00000000", true},
        {"00000007 00000000 00000002", true},
        {"00000007 00000001", false},          // a reply
        {"00000007 00000000 00000003", false}, // another RPC version
        {"2f204854 54502f31 2e310d0a", false}, // "/ HTTP/1.1\r\n"
    };
    for (const Row& row : rows)
        EXPECT_EQ(MayBeCall(Hex(row.head)), row.mayBe) << row.head;
}

TEST(Vxi11Protocol, ReadsEachProceduresArguments) {
    const auto link = ReadCreateLink(Hex("00000007 00000001 000003e8 00000005 696e737430 000000"));
    ASSERT_TRUE(link);
    EXPECT_EQ(link->clientId, 7);
    EXPECT_TRUE(link->lockDevice);
    EXPECT_EQ(link->lockTimeoutMs, 1000u);
    EXPECT_EQ(link->device, "inst0");

    const auto write =
        ReadWrite(Hex("00000004 000007d0 00000000 00000008 00000006 2a49444e3f0a 0000"));
    ASSERT_TRUE(write);
    EXPECT_EQ(write->lid, 4);
    EXPECT_EQ(write->ioTimeoutMs, 2000u);
    EXPECT_EQ(write->flags, flags::kEnd);
    EXPECT_EQ(write->data, "*IDN?\n");

    const auto read = ReadRead(Hex("00000004 00000400 000007d0 00000000 00000080 0000000a"));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->requestSize, 1024u);
    EXPECT_EQ(read->flags, flags::kTermCharSet);
    EXPECT_EQ(read->termChar, '\n');

    struct Bad {
        const char* name;
        bool parsed;
    } bad[] = {
        {"write cut in its data",
         ReadWrite(Hex("00000004 000007d0 00000000 00000008 00000006 2a49")).has_value()},
        {"write of 2 GB announced",
         ReadWrite(Hex("00000004 000007d0 00000000 00000008 7fffffff")).has_value()},
        {"device name of 1 KiB",
         ReadCreateLink(Hex("00000007 00000000 00000000 00000400") + QByteArray(1024, 'a'))
             .has_value()},
        {"lock flag 2", ReadCreateLink(Hex("00000007 00000002 00000000 00000000")).has_value()},
        {"srq handle of 41 bytes",
         ReadEnableSrq(Hex("00000001 00000001 00000029") + QByteArray(44, 'h')).has_value()},
        {"no link", ReadLinkId(Hex("0000")).has_value()},
    };
    for (const Bad& row : bad)
        EXPECT_FALSE(row.parsed) << row.name;
}

TEST(Vxi11Protocol, WritesEachProceduresResults) {
    struct Row {
        QByteArray results;
        const char* bytes;
    } rows[] = {
        {CreateLinkResult(DeviceError::None, 3, 5025, 65536),
         "00000000 00000003 000013a1 00010000"},
        {WriteResult(DeviceError::None, 6), "00000000 00000006"},
        {ReadResult(DeviceError::None, reason::kEnd, "1\n"), "00000000 00000004 00000002 310a0000"},
        {ReadResult(DeviceError::IoTimeout, 0, {}), "0000000f 00000000 00000000"},
        {ReadStbResult(DeviceError::None, 0x14), "00000000 00000014"},
        {ErrorResult(DeviceError::LockedByAnother), "0000000b"},
        {DocmdResult(DeviceError::NotSupported), "00000008 00000000"},
        {ResultWithError(Proc::DeviceWrite, DeviceError::InvalidLink), "00000004 00000000"},
        {ResultWithError(Proc::DeviceRead, DeviceError::Abort), "00000017 00000000 00000000"},
        {ResultWithError(Proc::CreateLink, DeviceError::OutOfResources),
         "00000009 00000000 00000000 00000000"},
        {ResultWithError(Proc::DeviceUnlock, DeviceError::NoLockHeld), "0000000c"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.results.toHex(' '), Hex(row.bytes).toHex(' '));
}

TEST(AnswerQueue, AReadTakesUpToTheCountTheTermCharOrTheEndOfALine) {
    struct Row {
        const char* name;
        QByteArrayList answers;
        quint32 size;
        bool useTerm;
        char term;
        std::vector<ReadOut> reads;
    } rows[] = {
        {"a whole line", {"1.5\n"}, 1024, false, 0, {{"1.5\n", reason::kEnd}}},
        {"one line a read",
         {"a\n", "b\n"},
         1024,
         false,
         0,
         {{"a\n", reason::kEnd}, {"b\n", reason::kEnd}}},
        {"cut by the count",
         {"12345\n"},
         4,
         false,
         0,
         {{"1234", reason::kRequestCount}, {"5\n", reason::kEnd}}},
        {"the count meets the end",
         {"123\n"},
         4,
         false,
         0,
         {{"123\n", reason::kRequestCount | reason::kEnd}}},
        {"at the term char",
         {"1;2\n"},
         1024,
         true,
         ';',
         {{"1;", reason::kTermChar}, {"2\n", reason::kEnd}}},
        {"term char LF is the end too",
         {"7\n"},
         1024,
         true,
         '\n',
         {{"7\n", reason::kTermChar | reason::kEnd}}},
        {"term char not asked for", {"1;2\n"}, 1024, false, ';', {{"1;2\n", reason::kEnd}}},
        {"nothing queued", {}, 1024, false, 0, {{"", 0}}},
    };
    for (const Row& row : rows) {
        AnswerQueue queue;
        for (const QByteArray& line : row.answers)
            queue.push(line);
        std::vector<ReadOut> reads;
        for (std::size_t i = 0; i < row.reads.size(); ++i)
            reads.push_back(queue.take(row.size, row.useTerm, row.term));
        EXPECT_EQ(reads, row.reads) << row.name;
        EXPECT_TRUE(queue.empty()) << row.name;
        EXPECT_EQ(queue.bytes(), 0) << row.name;
    }
}

TEST(RpcbindMessages, RegistrationsAsRpcbindTakesThem) {
    struct Row {
        QHostAddress address;
        quint16 port;
        const char* text;
    } addresses[] = {
        {QHostAddress(QHostAddress::Any), 5061, "0.0.0.0.19.197"},
        {QHostAddress(QHostAddress::LocalHost), 1024, "127.0.0.1.4.0"},
        {QHostAddress(QHostAddress::AnyIPv6), 111, "0.0.0.0.0.111"},
    };
    for (const Row& row : addresses)
        EXPECT_EQ(UniversalAddress(row.address, row.port), row.text);
    EXPECT_EQ(RpcbArgs(395183, 1, "0.0.0.0.19.197", "0").toHex(' '),
              Hex("000607af 00000001 00000003 74637000 0000000e 302e302e302e302e31392e3139370000 "
                  "00000001 30000000")
                  .toHex(' '));
    EXPECT_EQ(PmapArgs(395183, 1, 5061).toHex(' '),
              Hex("000607af 00000001 00000006 000013c5").toHex(' '));
    EXPECT_EQ(ReadBoolean(Hex("00000001")), true);
    EXPECT_EQ(ReadBoolean(Hex("00000000")), false);
    EXPECT_EQ(ReadBoolean(Hex("0000")), std::nullopt);
}

} // namespace
