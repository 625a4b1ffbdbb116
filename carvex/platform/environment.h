#pragma once

#include <optional>
#include <string>

namespace carvex {

// The process environment, for the variable the AT channel publishes while it holds the port.
bool SetEnvironmentValue(const std::string& name, const std::string& value);
bool RemoveEnvironmentValue(const std::string& name);
std::optional<std::string> EnvironmentValue(const std::string& name);

}  // namespace carvex
