#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "carvex/platform/device_root.h"

namespace carvex {

// A read-only key of the machine's registry (HKEY_LOCAL_MACHINE). Key names compare without
// regard to case; subkeys and values enumerate in byte order of their names (on Windows in the
// registry's own order).
class RegistryKey {
  public:
    // Opens "System\CurrentControlSet\..." under HKEY_LOCAL_MACHINE; nullopt when the key is
    // missing or refuses to be opened.
    static std::optional<RegistryKey> OpenLocalMachine(const DeviceRoot& root,
                                                       std::string_view key_path);

    std::vector<std::string> SubkeyNames() const;
    std::vector<std::string> ValueNames() const;
    std::optional<std::string> ReadString(std::string_view value_name) const;

  private:
#if defined(_WIN32)
    explicit RegistryKey(std::shared_ptr<void> key) : key_(std::move(key)) {}

    std::shared_ptr<void> key_;  // the open HKEY
#else
    explicit RegistryKey(std::filesystem::path directory) : directory_(std::move(directory)) {}

    std::filesystem::path directory_;
#endif
};

}  // namespace carvex
