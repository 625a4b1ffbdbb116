#include <windows.h>

#include "carvex/platform/environment.h"
#include "carvex/platform/win32_text.h"

namespace carvex {

// The process environment itself, not the C runtime's copy that getenv reads: other code of the
// process (a driver's helper, a Windows caller) looks there.
bool SetEnvironmentValue(const std::string& name, const std::string& value) {
    return ::SetEnvironmentVariableW(Widen(name).c_str(), Widen(value).c_str()) != 0;
}

bool RemoveEnvironmentValue(const std::string& name) {
    return ::SetEnvironmentVariableW(Widen(name).c_str(), nullptr) != 0;
}

std::optional<std::string> EnvironmentValue(const std::string& name) {
    const std::wstring wide_name = Widen(name);
    std::wstring value(64, L'\0');
    for (;;) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD length = ::GetEnvironmentVariableW(wide_name.c_str(), value.data(),
                                                       static_cast<DWORD>(value.size()));
        if (length == 0) {
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                return std::nullopt;
            }
            return std::string();
        }
        if (length < value.size()) {
            value.resize(length);
            return Narrow(value);
        }
        value.resize(length);  // the size it needs, terminating zero included
    }
}

}  // namespace carvex
