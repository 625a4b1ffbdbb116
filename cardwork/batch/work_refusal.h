#pragma once

#include <stdexcept>

namespace cardwright {

// A file, folder or request refused before any card is touched (a setting file whose seal does
// not hold, a report that could not be written): the work did not begin. A program says why and
// ends as refused.
class WorkRefusal : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace cardwright
