#include <unistd.h>

#include "carvex/platform/process.h"

namespace carvex {

int CurrentProcessId() {
    return static_cast<int>(::getpid());
}

}  // namespace carvex
