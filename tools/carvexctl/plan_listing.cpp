#include "tools/carvexctl/plan_listing.h"

#include <algorithm>
#include <cstdio>

#include "cardwork/batch/snapshot.h"
#include "carvex/platform/printable_text.h"

namespace carvexctl {

namespace {

constexpr size_t kRow = 16;

std::string HexByte(uint8_t byte) {
    char text[4];
    std::snprintf(text, sizeof text, "%02x", byte);
    return text;
}

std::string Setting(const cardwright::DeviceState& setting) {
    return "state " + std::to_string(setting.state & 0xFF) + ", port mask 0x" +
           HexByte(static_cast<uint8_t>(setting.mask & 0xFF));
}

void PrintItem(std::ostream& out, const cardwright::ItemChange& change) {
    out << "  NV item " << change.item;
    if (!change.captions.empty()) {
        std::string captions;
        for (const std::string& caption : change.captions) {
            captions += (captions.empty() ? "" : ", ") + carvex::PrintableText(caption);
        }
        out << " (" << captions << ")";
    }
    if (!change.before) {
        out << ": the card does not hold it; it would be written as\n";
    } else if (!change.Differs()) {
        out << ": unchanged\n";
        return;
    } else {
        out << ":\n";
    }
    for (size_t start = 0; start < change.after.size(); start += kRow) {
        std::string card = "card";
        std::string file = "file";
        std::string marks = "    ";
        bool differs = !change.before;
        for (size_t i = start; i < start + kRow; ++i) {
            const bool changed = !change.before || (*change.before)[i] != change.after[i];
            differs = differs || changed;
            card += " " + (change.before ? HexByte((*change.before)[i]) : std::string("--"));
            file += " " + HexByte(change.after[i]);
            marks += changed && change.before ? " ^^" : "   ";
        }
        if (!differs) {
            continue;
        }
        char offset[8];
        std::snprintf(offset, sizeof offset, "%04x", static_cast<unsigned>(start));
        const std::string indent = "    ";
        if (change.before) {
            out << indent << offset << "  " << card << "\n";
            out << indent << "      " << file << "\n";
            marks.erase(marks.find_last_not_of(' ') + 1);
            out << indent << "      " << marks << "\n";
        } else {
            out << indent << offset << "  " << file << "\n";
        }
    }
}

cardwright::Json SettingJson(const cardwright::DeviceState& setting) {
    return {{"state", setting.state & 0xFF}, {"port_mask", setting.mask & 0xFF}};
}

}  // namespace

void PrintPlan(std::ostream& out, const cardwright::CardRecord& card, bool all) {
    out << card.port;
    if (!card.imei.empty()) {
        out << " (IMEI " << carvex::PrintableText(card.imei) << ")";
    }
    if (!card.result.Ok()) {
        out << ": " << card.result.Text() << "\n";
        return;
    }
    const size_t differing =
        std::count_if(card.items.begin(), card.items.end(),
                      [](const cardwright::ItemChange& change) { return change.Differs(); });
    const bool setting = card.port_setting && card.port_setting->Differs();
    out << ": " << differing << " of " << card.items.size() << " NV items"
        << (setting ? " and the port setting" : "") << " would change";
    if (!all && differing < card.items.size()) {
        out << " (--all lists the other " << card.items.size() - differing << ")";
    }
    out << "\n";
    for (const cardwright::ItemChange& change : card.items) {
        if (all || change.Differs()) {
            PrintItem(out, change);
        }
    }
    if (card.port_setting && (all || setting)) {
        out << "  port setting: "
            << (card.port_setting->before ? Setting(*card.port_setting->before) : "unknown")
            << " -> " << Setting(card.port_setting->after) << (setting ? "" : " (unchanged)")
            << "\n";
    }
}

cardwright::Json PlanJson(const cardwright::CardRecord& card) {
    using cardwright::Json;
    Json items = Json::array();
    Json setting;
    if (card.result.Ok()) {
        for (const cardwright::ItemChange& change : card.items) {
            items.push_back(
                {{"item", change.item},
                 {"captions", change.captions},
                 {"before", change.before ? Json(cardwright::NvHex(*change.before)) : Json()},
                 {"after", cardwright::NvHex(change.after)},
                 {"changes", change.Differs()}});
        }
        if (card.port_setting) {
            setting = {
                {"before",
                 card.port_setting->before ? SettingJson(*card.port_setting->before) : Json()},
                {"after", SettingJson(card.port_setting->after)},
                {"changes", card.port_setting->Differs()}};
        }
    }
    return {{"port", card.port},
            {"imei", cardwright::TextOrNull(card.imei)},
            {"items", items},
            {"port_setting", setting}};
}

}  // namespace carvexctl
