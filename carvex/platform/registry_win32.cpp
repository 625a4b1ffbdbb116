#include <windows.h>

#include <vector>

#include "carvex/platform/registry.h"
#include "carvex/platform/win32_text.h"

namespace carvex {

namespace {

// Query, set value, create subkey, enumerate subkeys, notify: the rights the modem class keys are
// opened with. A key whose permissions refuse any of them does not open.
constexpr REGSAM kKeyRights = 0x2001F;

HKEY Key(const std::shared_ptr<void>& key) {
    return static_cast<HKEY>(key.get());
}

struct KeyCounts {
    DWORD subkeys = 0;
    DWORD longest_subkey = 0;
    DWORD values = 0;
    DWORD longest_value_name = 0;
};

KeyCounts CountsOf(HKEY key) {
    KeyCounts counts;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &counts.subkeys, &counts.longest_subkey,
                           nullptr, &counts.values, &counts.longest_value_name, nullptr, nullptr,
                           nullptr) != ERROR_SUCCESS) {
        return {};
    }
    return counts;
}

// Names by index, until the count is reached or the key says there are no more.
template <class EnumerateAt>
std::vector<std::string> Names(DWORD count, DWORD longest, EnumerateAt enumerate_at) {
    std::vector<std::string> names;
    std::wstring name(static_cast<size_t>(longest) + 1, L'\0');
    for (DWORD index = 0; index < count; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        const LSTATUS result = enumerate_at(index, name.data(), &length);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result == ERROR_SUCCESS) {
            names.push_back(Narrow(std::wstring_view(name.data(), length)));
        }
    }
    return names;
}

}  // namespace

std::optional<RegistryKey> RegistryKey::OpenLocalMachine(const DeviceRoot& /*root*/,
                                                         std::string_view key_path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Widen(key_path).c_str(), 0, kKeyRights, &key) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return RegistryKey(
        std::shared_ptr<void>(key, [](void* k) { ::RegCloseKey(static_cast<HKEY>(k)); }));
}

std::vector<std::string> RegistryKey::SubkeyNames() const {
    const KeyCounts counts = CountsOf(Key(key_));
    return Names(counts.subkeys, counts.longest_subkey,
                 [&](DWORD index, wchar_t* name, DWORD* length) {
                     return ::RegEnumKeyExW(Key(key_), index, name, length, nullptr, nullptr,
                                            nullptr, nullptr);
                 });
}

std::vector<std::string> RegistryKey::ValueNames() const {
    const KeyCounts counts = CountsOf(Key(key_));
    return Names(counts.values, counts.longest_value_name,
                 [&](DWORD index, wchar_t* name, DWORD* length) {
                     return ::RegEnumValueW(Key(key_), index, name, length, nullptr, nullptr,
                                            nullptr, nullptr);
                 });
}

std::optional<std::string> RegistryKey::ReadString(std::string_view value_name) const {
    const std::wstring name = Widen(value_name);
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(Key(key_), name.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    DWORD read_size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(Key(key_), name.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(data.data()), &read_size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    // The stored text may or may not end in its terminating zero.
    data.resize(read_size / sizeof(wchar_t));
    while (!data.empty() && data.back() == L'\0') {
        data.pop_back();
    }
    return Narrow(data);
}

}  // namespace carvex
