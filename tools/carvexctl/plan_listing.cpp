#include "tools/carvexctl/plan_listing.h"

#include <cstdio>

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

void PrintItem(std::ostream& out, const PlannedItem& planned) {
    out << "  NV item " << planned.item;
    if (!planned.card) {
        out << ": the card does not hold it; it would be written as\n";
    } else if (*planned.card == planned.file) {
        out << ": unchanged\n";
        return;
    } else {
        out << ":\n";
    }
    for (size_t start = 0; start < planned.file.size(); start += kRow) {
        std::string card = "card";
        std::string file = "file";
        std::string marks = "    ";
        bool differs = !planned.card;
        for (size_t i = start; i < start + kRow; ++i) {
            const bool changed = !planned.card || (*planned.card)[i] != planned.file[i];
            differs = differs || changed;
            card += " " + (planned.card ? HexByte((*planned.card)[i]) : std::string("--"));
            file += " " + HexByte(planned.file[i]);
            marks += changed && planned.card ? " ^^" : "   ";
        }
        if (!differs) {
            continue;
        }
        char offset[8];
        std::snprintf(offset, sizeof offset, "%04x", static_cast<unsigned>(start));
        const std::string indent = "    ";
        if (planned.card) {
            out << indent << offset << "  " << card << "\n";
            out << indent << "      " << file << "\n";
            marks.erase(marks.find_last_not_of(' ') + 1);
            out << indent << "      " << marks << "\n";
        } else {
            out << indent << offset << "  " << file << "\n";
        }
    }
}

}  // namespace

void PrintPlan(std::ostream& out, const CardOutcome& outcome) {
    const ReportRow& row = outcome.row;
    out << row.port;
    if (!row.imei.empty()) {
        out << " (IMEI " << carvex::PrintableText(row.imei) << ")";
    }
    if (!outcome.plan) {
        out << ": " << row.result.Text() << "\n";
        return;
    }
    const CardPlan& plan = *outcome.plan;
    out << ": " << plan.items.size() << " NV items"
        << (plan.file_port_setting ? " and the port setting" : "") << " would be written\n";
    for (const PlannedItem& planned : plan.items) {
        PrintItem(out, planned);
    }
    if (plan.file_port_setting) {
        out << "  port setting: "
            << (plan.card_port_setting ? Setting(*plan.card_port_setting) : "unknown") << " -> "
            << Setting(*plan.file_port_setting)
            << (plan.card_port_setting &&
                        (plan.card_port_setting->state & 0xFF) ==
                            (plan.file_port_setting->state & 0xFF) &&
                        (plan.card_port_setting->mask & 0xFF) ==
                            (plan.file_port_setting->mask & 0xFF)
                    ? " (unchanged)"
                    : "")
            << "\n";
    }
}

}  // namespace carvexctl
