#include "cardsim/card_state_file.h"

#include <sstream>
#include <system_error>

#include "carvex/platform/whole_file.h"

namespace cardsim {

bool SaveCardState(const std::filesystem::path& path, const CardState& state) {
    std::ostringstream text;
    text << "; NV items of a simulated card, saved by its NV backup\n[card]\n";
    text << "port_state = " << int{state.port_state} << "\nport_mask = " << int{state.port_mask}
         << "\n[nv]\n";
    for (const auto& [item, value] : state.nv) {
        text << item << " = " << FormatNvValue(value) << "\n";
    }
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error) {
        return false;
    }
    return carvex::ReplaceWholeFile(path, text.str()).stamp.has_value();
}

void LoadCardState(const std::filesystem::path& path, CardState& state) {
    if (!std::filesystem::exists(path)) {
        return;
    }
    const CardProfile saved = LoadProfile(path);
    for (const auto& [item, value] : saved.nv) {
        state.nv[item] = value;
    }
    state.port_state = saved.port_state;
    state.port_mask = saved.port_mask;
}

}  // namespace cardsim
