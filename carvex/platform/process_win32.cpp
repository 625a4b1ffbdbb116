#include <windows.h>

#include "carvex/platform/process.h"

namespace carvex {

int CurrentProcessId() {
    return static_cast<int>(::GetCurrentProcessId());
}

}  // namespace carvex
