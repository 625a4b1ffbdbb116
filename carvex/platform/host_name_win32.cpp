#include <windows.h>

#include <array>

#include "carvex/platform/host_name.h"
#include "carvex/platform/win32_text.h"

namespace carvex {

std::string HostName() {
    std::array<wchar_t, MAX_COMPUTERNAME_LENGTH + 1> name{};
    DWORD size = static_cast<DWORD>(name.size());
    if (!::GetComputerNameW(name.data(), &size)) {
        return {};
    }
    return Narrow(std::wstring_view(name.data(), size));
}

}  // namespace carvex
