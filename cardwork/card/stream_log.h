#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "cardwork/card/log_sink.h"
#include "cardwork/model/model_clock.h"

namespace cardwright {

// The log seam of a program without a window: each line, its local date and time, two blanks
// and the message, written to a stream as it comes.
class StreamLog : public LogSink {
  public:
    explicit StreamLog(std::ostream& out) : out_(out) {}
    void AddLog(std::string_view message) override;

  private:
    std::ostream& out_;
};

// "2024-03-14 09:05:31": the local date and time, in a form that sorts.
std::string LocalTimestamp(ModelClock::WallTime when);

}  // namespace cardwright
