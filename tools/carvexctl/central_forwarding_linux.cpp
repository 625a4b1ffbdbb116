#include "tools/carvexctl/central_forwarding.h"

#include <cmath>

#include "tools/carvexctl/command_failure.h"

namespace carvexctl {

cardwright::CentralAddress CentralAddressOf(const std::string& conninfo) {
    try {
        return cardwright::CentralAddress(conninfo);
    } catch (const cardwright::CentralAddressError& error) {
        throw Refusal(error.what());
    }
}

CentralForwarding::CentralForwarding(cardwright::RecordStore& store,
                                     cardwright::CentralAddress address,
                                     const RunRecordOptions& options,
                                     std::function<void(const cardwright::ForwarderStatus&)> status)
    : store_(store), address_(std::move(address)) {
    cardwright::Forwarder::Options forwarding;
    forwarding.retry_max = std::chrono::milliseconds(
        static_cast<int64_t>(std::lround(options.central_retry_max * 1000)));
    forwarding.first_retry = std::min(forwarding.first_retry, forwarding.retry_max);
    forwarding.status = std::move(status);
    forwarder_ = std::make_unique<cardwright::Forwarder>(store_, address_, std::move(forwarding));
    store_.QueueForForwarding([forwarder = forwarder_.get()] { forwarder->Wake(); });
}

CentralForwarding::~CentralForwarding() {
    // The store outlives the forwarder: it must not wake one that is gone.
    store_.QueueForForwarding();
    forwarder_.reset();
}

}  // namespace carvexctl
