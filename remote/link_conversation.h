#pragma once
// A VXI-11 link's conversation: a remote client's lines run by a ScpiClient
// of its own, as a socket client's are.

#include "remote/scpi_client.h"
#include "vxi11/conversation.h"

#include <functional>
#include <memory>

namespace velmora {

/// Owns the link's ScpiClient; tells remote control of each line (for its
/// watchdog and its list of lines) and of the link's end.
class LinkConversation final : public vxi11::Conversation {
    Q_OBJECT
  public:
    LinkConversation(std::unique_ptr<ScpiClient> client,
                     std::function<void(const scpi::LineReader::Line&)> heard,
                     std::function<void()> gone);
    ~LinkConversation() override;

    void takeLine(const scpi::LineReader::Line& line) override;
    bool busy() const override { return client_->busy(); }
    quint8 statusByte() override { return client_->statusByte(); }
    ScpiClient& client() { return *client_; }

  private:
    std::unique_ptr<ScpiClient> client_;
    std::function<void(const scpi::LineReader::Line&)> heard_;
    std::function<void()> gone_;
};

} // namespace velmora
