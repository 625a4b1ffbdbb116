#include "cardwork/batch/recording_card.h"

#include <algorithm>

namespace cardwright {

bool RecordingCard::Note(bool taken, const std::string& what) {
    if (!taken && !written_.failure) {
        written_.failure = what;
    }
    return taken;
}

bool RecordingCard::WriteNv(int32_t item, const NvData& data) {
    const bool taken = writes_ == Writes::kHoldBack || Inner().WriteNv(item, data);
    if (taken) {
        if (std::find(written_.order.begin(), written_.order.end(), item) == written_.order.end()) {
            written_.order.push_back(item);
        }
        written_.nv[item] = data;
    }
    return Note(taken, "the card did not take NV item " + std::to_string(item));
}

bool RecordingCard::WritePortSetting(const DeviceState& setting, int32_t& status) {
    const bool taken = writes_ == Writes::kHoldBack || Inner().WritePortSetting(setting, status);
    if (taken) {
        written_.port_setting = setting;
    }
    return Note(taken, "the card did not take the port setting");
}

bool RecordingCard::Backup(int32_t& status) {
    written_.backed_up = writes_ == Writes::kHoldBack || Inner().Backup(status);
    return Note(written_.backed_up, "the card's backup of its NV items failed");
}

bool RecordingCard::Restart() {
    written_.restarted = writes_ == Writes::kHoldBack || Inner().Restart();
    return Note(written_.restarted, "the card did not acknowledge the restart");
}

std::string RecordingCard::Trouble() {
    std::string trouble = Inner().Trouble();
    return trouble.empty() ? written_.failure.value_or(std::string()) : trouble;
}

}  // namespace cardwright
