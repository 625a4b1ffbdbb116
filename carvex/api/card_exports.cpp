#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "carvex/api/run_exchange.h"
#include "carvex/carvex.h"
#include "carvex/connection/card_control.h"
#include "carvex/connection/card_operations.h"
#include "carvex/connection/identity_queries.h"

using namespace carvex;

namespace {

constexpr uint16_t kImeiItem = CARVEX_IMEI_ITEM;

// Copies the text without a terminating zero, never more than `size` bytes.
void CopyText(char* buffer, int32_t size, const std::string& text) {
    if (size <= 0) {
        return;
    }
    std::memcpy(buffer, text.data(), std::min(text.size(), static_cast<size_t>(size)));
}

template <class Query>
int32_t VersionText(char* buffer, int32_t size, int32_t* status, Query query) {
    if (buffer == nullptr) {
        return RefuseNullPointer(status);
    }
    return RunExchange(status, [&](MainControl& connection) {
        std::string text;
        if (!query(connection, &text)) {
            return false;
        }
        CopyText(buffer, size, text);
        return true;
    });
}

}  // namespace

extern "C" CARVEX_API int32_t CARVEX_CALL GetIMEI(uint8_t* buffer, int32_t length,
                                                  int32_t* status) {
    // ReadNvItem refuses a null buffer the same way.
    return ReadNvItem(kImeiItem, buffer, length, status);
}

extern "C" CARVEX_API int32_t CARVEX_CALL GetFirmwareVersion(char* buffer, int32_t size,
                                                             int32_t* status) {
    return VersionText(buffer, size, status, [&](MainControl& c, std::string* text) {
        std::string pcb;
        return QueryVersions(c, text, &pcb, status);
    });
}

extern "C" CARVEX_API int32_t CARVEX_CALL GetPCBVersion(char* buffer, int32_t size,
                                                        int32_t* status) {
    return VersionText(buffer, size, status, [&](MainControl& c, std::string* text) {
        std::string firmware;
        return QueryVersions(c, &firmware, text, status);
    });
}

extern "C" CARVEX_API int32_t CARVEX_CALL GetDashboardVersion(char* buffer, int32_t size,
                                                              int32_t* status) {
    return VersionText(buffer, size, status, [&](MainControl& c, std::string* text) {
        return QueryDashboardVersion(c, text, status);
    });
}

extern "C" CARVEX_API int32_t CARVEX_CALL GetBoardType(char* buffer) {
    if (buffer == nullptr) {
        return 0;
    }
    try {
        // The modem's answer comes with its terminating zero; the DIAG texts without.
        std::string model;
        if (ModelFromModemPort(DeviceRoot::FromEnvironment(), std::nullopt,
                               AtPort::PortVariable::kPublish, &model)) {
            std::memcpy(buffer, model.c_str(), model.size() + 1);
            return 1;
        }
    } catch (...) {
    }
    return RunExchange(nullptr, [&](MainControl& connection) {
        std::string text;
        if (!BoardTypeOverDiag(connection, &text)) {
            return false;
        }
        std::memcpy(buffer, text.data(), text.size());
        return true;
    });
}

extern "C" CARVEX_API int32_t CARVEX_CALL IsNewVersion(int32_t* status) {
    if (status == nullptr) {
        return 0;
    }
    return RunExchange(status, [&](MainControl& c) { return QueryNewVersionMark(c, status); });
}

extern "C" CARVEX_API int32_t CARVEX_CALL BackupNVItems(int32_t* status) {
    return RunExchange(status, [&](MainControl& c) { return BackupNv(c, status); });
}

extern "C" CARVEX_API int32_t CARVEX_CALL SetPnPState(int32_t value, int32_t bits,
                                                      int32_t* status) {
    return RunExchange(status,
                       [&](MainControl& c) { return SetPortSetting(c, value, bits, status); });
}

extern "C" CARVEX_API int32_t CARVEX_CALL GetPnPState(int32_t* value, int32_t* bits,
                                                      int32_t* status) {
    if (value == nullptr || bits == nullptr) {
        return RefuseNullPointer(status);
    }
    return RunExchange(status,
                       [&](MainControl& c) { return GetPortSetting(c, value, bits, status); });
}

extern "C" CARVEX_API int32_t CARVEX_CALL ResetDsahboard(void) {
    return RunExchange(nullptr, [](MainControl& c) { return RestartCard(c); });
}
