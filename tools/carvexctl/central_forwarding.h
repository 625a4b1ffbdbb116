#pragma once

#include <functional>
#include <memory>
#include <string>

#include "cardwork/central/central_address.h"
#include "cardwork/central/forwarder.h"
#include "cardwork/records/record_store.h"
#include "tools/carvexctl/run_recording.h"

namespace carvexctl {

// The address --central gives, checked. Throws Refusal for one that cannot be used (one holding
// a password above all), in words that do not repeat it.
cardwright::CentralAddress CentralAddressOf(const std::string& conninfo);

// The records of a store forwarded to the central database while it lives: every record begun
// from now on is queued as it ends, and the forwarder woken. Linux only.
class CentralForwarding {
  public:
    CentralForwarding(cardwright::RecordStore& store, cardwright::CentralAddress address,
                      const RunRecordOptions& options,
                      std::function<void(const cardwright::ForwarderStatus&)> status = {});
    // Stops the forwarder; what waits stays queued.
    ~CentralForwarding();
    CentralForwarding(const CentralForwarding&) = delete;
    CentralForwarding& operator=(const CentralForwarding&) = delete;

    cardwright::Forwarder& Get() { return *forwarder_; }
    const cardwright::CentralAddress& Address() const { return address_; }

  private:
    cardwright::RecordStore& store_;
    cardwright::CentralAddress address_;
    std::unique_ptr<cardwright::Forwarder> forwarder_;
};

}  // namespace carvexctl
