#include "remote/link_conversation.h"

namespace velmora {

LinkConversation::LinkConversation(std::unique_ptr<ScpiClient> client,
                                   std::function<void(const scpi::LineReader::Line&)> heard,
                                   std::function<void()> gone)
    : client_(std::move(client)), heard_(std::move(heard)), gone_(std::move(gone)) {
    connect(client_.get(), &ScpiClient::answer, this, &Conversation::answer);
    connect(client_.get(), &ScpiClient::ready, this, &Conversation::ready);
}

// Remote control hears of the end while the client is still whole.
LinkConversation::~LinkConversation() {
    if (gone_) gone_();
}

void LinkConversation::takeLine(const scpi::LineReader::Line& line) {
    if (heard_) heard_(line);
    client_->takeLine(line);
}

} // namespace velmora
