#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cardwork/batch/card_record.h"
#include "cardwork/line_page/line_server.h"
#include "cardwork/line_page/line_state.h"
#include "cardwork/records/record_store.h"
#include "cardwork/station/station_listener.h"

namespace carvexctl {

// How the line page is asked for on the command line.
struct LinePageOptions {
    std::string http;  // "ADDR:PORT"; empty: no page
    std::string token;
    std::string token_file;
};

// The environment variable a token may come from, which, unlike an argument, `ps` does not show.
inline constexpr const char* kHttpTokenVariable = "CARVEX_HTTP_TOKEN";

// The address and token the page is served with; throws Refusal for an address that is not
// one, a token that cannot be read or used, and an address beyond loopback without a token.
struct LinePageAddress {
    cardwright::HttpAddress address;
    std::string token;
};
std::optional<LinePageAddress> CheckLinePage(const LinePageOptions& options);

// A station's line page while it runs: its state, kept by listening to the station beside the
// board, and its server, which reads the records through a store of its own.
class StationLinePage {
  public:
    // The page's state, from the records of the station's day; nothing served yet.
    StationLinePage(const LinePageAddress& where, const cardwright::RunFacts& facts,
                    const std::filesystem::path& records);

    // Begins to serve, on threads that take the signal mask of the caller: called once the
    // stop signals are taken apart. Throws Refusal when the page cannot be served.
    // `notice` is told, from the server's workers, what only the station's screen may show.
    void Serve(std::function<void(const std::string&)> notice);

    cardwright::StationListener& Listener() { return state_; }
    std::string Url() const { return server_->Url(); }
    // The station is stopping: the open event streams end.
    void EndStreams() { state_.EndStreams(); }

  private:
    LinePageAddress where_;
    cardwright::RecordStore records_;
    cardwright::LineState state_;
    std::unique_ptr<cardwright::LineServer> server_;
};

// Tells two listeners everything, the first first.
class BothListeners : public cardwright::StationListener {
  public:
    BothListeners(cardwright::StationListener& first, cardwright::StationListener& second)
        : first_(first), second_(second) {}

    void SlotChanged(const cardwright::SlotView& slot) override;
    void Progress(const cardwright::SlotView& slot,
                  const cardwright::WorkProgress& progress) override;
    void CardEnded(const cardwright::SlotView& slot, const cardwright::CardRecord& record,
                   const cardwright::StationCounts& counts) override;
    void Notice(const std::string& text) override;

  private:
    cardwright::StationListener& first_;
    cardwright::StationListener& second_;
};

}  // namespace carvexctl
