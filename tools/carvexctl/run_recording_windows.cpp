#include <iostream>

#include "tools/carvexctl/run_recording.h"

namespace carvexctl {

struct RunRecording::Kept {};

RunRecording::RunRecording(const RunRecordOptions& /*options*/) {
    std::cerr << "carvexctl: no records of the card work are kept on Windows\n";
}

RunRecording::~RunRecording() = default;

cardwright::CardHooks RunRecording::Hooks(cardwright::CardObserver& next,
                                          const cardwright::WorkStop& stop) {
    return {.observer = &next, .stop = &stop};
}

void RunRecording::Check() const {}

}  // namespace carvexctl
