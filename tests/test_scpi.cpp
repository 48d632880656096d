// The remote-control answers: the error queue's entries and the answers'
// texts.

#include "scpi/scpi_errors.h"
#include "scpi/scpi_format.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace velmora::scpi;

TEST(ScpiErrors, EntriesAsTheQueueAnswers) {
    struct Case {
        Error error;
        QByteArray entry;
    };
    const Case cases[] = {
        {{}, "0,\"No error\""},
        {{ErrorCode::UndefinedHeader, {}}, "-113,\"Undefined header\""},
        {{ErrorCode::DataOutOfRange, "VOLT 30 above 25.0 V"},
         "-222,\"Data out of range;VOLT 30 above 25.0 V\""},
        {{ErrorCode::QueryUnterminated, {}}, "-420,\"Query UNTERMINATED\""},
        // The detail never ends the quoted string nor the line.
        {{ErrorCode::SyntaxError, "a\"b\nc\xe4"}, "-102,\"Syntax error;a'b?c?\""},
        {{ErrorCode::SyntaxError, QString(100, u'x')},
         "-102,\"Syntax error;" + QByteArray(kMaxDetailChars, 'x') + '"'},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatErrorEntry(c.error), c.entry);
}

TEST(ScpiErrors, AFullQueueEndsInOverflow) {
    ErrorQueue queue;
    for (int i = 0; i < ErrorQueue::kCapacity + 5; ++i)
        queue.Push({ErrorCode::SyntaxError, QString::number(i)});
    ASSERT_EQ(queue.Size(), ErrorQueue::kCapacity);
    for (int i = 0; i < ErrorQueue::kCapacity - 1; ++i)
        EXPECT_EQ(queue.Pop(), (Error{ErrorCode::SyntaxError, QString::number(i)}));
    EXPECT_EQ(queue.Pop(), (Error{ErrorCode::QueueOverflow, {}}));
    EXPECT_EQ(queue.Pop(), Error{});
    // Room again: new errors are kept.
    queue.Push({ErrorCode::DataStale, {}});
    EXPECT_EQ(queue.Pop().code, ErrorCode::DataStale);
}

TEST(ScpiFormat, AnswerTexts) {
    struct Case {
        QByteArray text;
        QByteArray expected;
    };
    const Case cases[] = {
        {FormatNumber(12.3, 1), "12.3"},
        {FormatNumber(1.23, 2), "1.23"},
        {FormatNumber(15.129, 3), "15.129"},
        {FormatNumber(0, 0), "0"},
        {FormatNumber(-1.5, 1), "-1.5"},
        {FormatNumber(-10, 0), "-10"},
        {FormatNumber(-0.001, 2), "0.00"},
        {FormatNumber(-0.4, 0), "0"},
        {FormatNumber(1e20, 0), "100000000000000000000"},
        {FormatNumber(std::nan(""), 2), "9.91E+37"},
        {FormatBool(true), "1"},
        {FormatBool(false), "0"},
        {FormatString("run.dat"), "\"run.dat\""},
        {FormatString("say \"hi\""), "\"say \"\"hi\"\"\""},
        {FormatString(""), "\"\""},
        {FormatString(QString::fromUtf8("\xc3\xa4")), "\"\xc3\xa4\""},
        {DefiniteBlock(""), "#10"},
        {DefiniteBlock("abc"), "#13abc"},
        {DefiniteBlock(QByteArray(12, 'a')), "#212aaaaaaaaaaaa"},
        {AnswerLine({}), ""},
        {AnswerLine({"1"}), "1\n"},
        {AnswerLine({"1", "2.5", "\"x\""}), "1;2.5;\"x\"\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.text, c.expected);
}
