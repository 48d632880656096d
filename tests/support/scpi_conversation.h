#pragma once
// One remote client's lines against a session on a fake line: what it
// answers, what goes out on the line, all on the fake clock.

#include "remote/scpi_client.h"
#include "support/session_on_fake_line.h"
#include "support/units_on_fake_lines.h"

#include <QObject>

namespace velmora::test {

/// A client on a session over a fake line (with `stored` settings, as
/// SessionOnFakeLine takes them), its answers kept.
struct ScpiConversation {
    explicit ScpiConversation(const QStringList& stored = {}) : s(stored) {
        QObject::connect(&client, &ScpiClient::answer,
                         [this](const QByteArray& line) { answers += line; });
    }
    /// Sends a line, lets the commands it asked for go out for `afterMs`,
    /// and gives what it answered.
    QByteArray say(const QByteArray& line, qint64 afterMs = 200) {
        answers.clear();
        client.takeLine({line, false});
        s.clock.advanceMs(afterMs);
        return answers;
    }
    SessionOnFakeLine s;
    ScpiClient client{*s.session};
    QByteArray answers;
};

/// A client on a bench of `units` units on fake lines (as UnitsOnFakeLines
/// makes them), its answers kept.
struct BenchConversation {
    explicit BenchConversation(int units) : bench(UnitsOnFakeLines::Bench(units)) {
        bench.start();
        client = std::make_unique<ScpiClient>(*bench.units);
        QObject::connect(client.get(), &ScpiClient::answer,
                         [this](const QByteArray& line) { answers += line; });
    }
    QByteArray say(const QByteArray& line, qint64 afterMs = 200) {
        answers.clear();
        client->takeLine({line, false});
        bench.clock.advanceMs(afterMs);
        return answers;
    }
    UnitsOnFakeLines bench;
    std::unique_ptr<ScpiClient> client;
    QByteArray answers;
};

} // namespace velmora::test
