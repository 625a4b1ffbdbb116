#include "cardwork/model/legacy_code_page.h"

#include <mutex>

namespace cardwright {

namespace {

// Set once the configuration is read; INI files are opened on other threads too.
struct Slot {
    std::mutex mutex;
    carvex::CodePage code_page;
};

Slot& TheSlot() {
    static Slot slot;
    return slot;
}

}  // namespace

carvex::CodePage LegacyCodePage() {
    Slot& slot = TheSlot();
    const std::lock_guard lock(slot.mutex);
    return slot.code_page;
}

void SetLegacyCodePage(carvex::CodePage code_page) {
    Slot& slot = TheSlot();
    const std::lock_guard lock(slot.mutex);
    slot.code_page = std::move(code_page);
}

}  // namespace cardwright
