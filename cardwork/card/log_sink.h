#pragma once

#include <string_view>

namespace cardwright {

// The log seam: every line of the operation log goes here, one message at a time, at the step it
// reports. The window keeps ConfigLog.txt and its memo; a program without a window writes the
// lines to a stream.
class LogSink {
  public:
    virtual ~LogSink() = default;
    virtual void AddLog(std::string_view message) = 0;
};

}  // namespace cardwright
