#pragma once
// VXI-11 links for tests: each a real ScpiClient over a session, as remote
// control makes them, behind the link's Conversation interface.

#include "remote/scpi_client.h"
#include "vxi11/conversation.h"

#include <memory>

namespace velmora::test {

/// One ScpiClient as a link's conversation.
class ScpiClientConversation : public vxi11::Conversation {
  public:
    explicit ScpiClientConversation(Session& session) : client_(session) {
        connect(&client_, &ScpiClient::answer, this, [this](const QByteArray& line) {
            if (asking_)
                asked_ = line;
            else
                emit answer(line);
        });
        connect(&client_, &ScpiClient::ready, this, &Conversation::ready);
    }
    void takeLine(const scpi::LineReader::Line& line) override { client_.takeLine(line); }
    bool busy() const override { return client_.busy(); }
    // The client answers *STB? at once; the answer stays here.
    quint8 statusByte() override {
        if (client_.busy()) return 0;
        asking_ = true;
        client_.takeLine({"*STB?", false});
        asking_ = false;
        return quint8(asked_.trimmed().toInt());
    }

  private:
    ScpiClient client_;
    bool asking_ = false;
    QByteArray asked_;
};

/// A factory of such links allowing at most `limit` at a time (as remote
/// control allows eight clients), counting what it made.
struct ScpiLinks {
    explicit ScpiLinks(Session& session, int limit = 8) : session(session), limit(limit) {}
    vxi11::ConversationFactory factory() {
        return
            [this](const QHostAddress&, QString* refusal) -> std::unique_ptr<vxi11::Conversation> {
                if (live >= limit) {
                    *refusal = QStringLiteral("already %1 clients").arg(limit);
                    return nullptr;
                }
                ++live;
                ++made;
                auto link = std::make_unique<ScpiClientConversation>(session);
                QObject::connect(link.get(), &QObject::destroyed, [this] { --live; });
                return link;
            };
    }
    Session& session;
    int limit;
    int live = 0;
    int made = 0;
};

} // namespace velmora::test
