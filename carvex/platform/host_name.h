#pragma once

#include <string>

namespace carvex {

// The machine's name as the system knows it (its host name); empty when it gives none.
std::string HostName();

}  // namespace carvex
