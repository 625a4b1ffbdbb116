#include <iostream>

#include "tools/carvexctl/command_failure.h"
#include "tools/carvexctl/run_recording.h"

namespace carvexctl {

struct RunRecording::Kept {};

RunRecording::RunRecording(const RunRecordOptions& options) {
    if (!options.central.empty()) {
        throw Refusal("--central is not available on Windows, which keeps no records");
    }
    std::cerr << "carvexctl: no records of the card work are kept on Windows\n";
}

RunRecording::~RunRecording() = default;

cardwright::CardHooks RunRecording::Hooks(cardwright::CardObserver& next,
                                          const cardwright::WorkStop& stop) {
    return {.observer = &next, .stop = &stop};
}

void RunRecording::Check() const {}

}  // namespace carvexctl
