#include "tools/carvexctl/snapshot_listing.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "cardwork/json/json_document.h"
#include "carvex/platform/printable_text.h"
#include "tools/carvexctl/display_width.h"

namespace carvexctl {

namespace {

using cardwright::ShelvedSnapshot;
using cardwright::SnapshotShelf;

constexpr std::string_view kFirstMark = " *";
using SnapshotRow = std::array<std::string, 6>;

std::string KnownPrintable(const std::string& text) {
    return text.empty() ? std::string("-") : carvex::PrintableText(text);
}

SnapshotRow RowOf(const ShelvedSnapshot& shelved) {
    const cardwright::CardSnapshot& snapshot = shelved.snapshot;
    return {snapshot.imei,
            KnownPrintable(snapshot.taken),
            KnownPrintable(snapshot.command),
            KnownPrintable(snapshot.card_type),
            KnownPrintable(snapshot.firmware),
            carvex::PrintableText(shelved.file.filename().string()) +
                (shelved.first ? std::string(kFirstMark) : std::string())};
}

}  // namespace

void PrintSnapshots(std::ostream& out, const std::filesystem::path& folder,
                    const SnapshotShelf& shelf) {
    const std::string where = carvex::PrintableText(folder.string());
    if (shelf.snapshots.empty()) {
        out << "No snapshot in " << where << ".\n";
    } else {
        out << "Snapshots in " << where << ":\n";
        std::vector<SnapshotRow> rows{
            {"IMEI", "TAKEN (UTC)", "BY", "CARD TYPE", "FIRMWARE", "FILE"}};
        for (const ShelvedSnapshot& shelved : shelf.snapshots) {
            rows.push_back(RowOf(shelved));
        }
        std::array<size_t, 6> widths{};
        for (const SnapshotRow& row : rows) {
            for (size_t i = 0; i < row.size(); ++i) {
                widths[i] = std::max(widths[i], DisplayWidth(row[i]));
            }
        }
        for (const SnapshotRow& row : rows) {
            for (size_t i = 0; i + 1 < row.size(); ++i) {
                out << PadToColumns(row[i], widths[i]) << "  ";
            }
            out << row.back() << "\n";
        }
        const bool marked = std::any_of(shelf.snapshots.begin(), shelf.snapshots.end(),
                                        [](const ShelvedSnapshot& s) { return s.first; });
        if (marked) {
            out << "*: the card as it was before carvexctl first wrote it\n";
        }
    }
    for (const std::string& imei : shelf.first_unknown) {
        out << "IMEI " << imei
            << ": none is marked *, as a file of it that may be the first cannot be read\n";
    }
    if (!shelf.unread.empty()) {
        out << "Files that are no whole snapshot:\n";
        for (const cardwright::UnreadSnapshot& unread : shelf.unread) {
            out << "  " << carvex::PrintableText(unread.error) << "\n";
        }
    }
}

void PrintSnapshotsJson(std::ostream& out, const std::filesystem::path& folder,
                        const SnapshotShelf& shelf) {
    using cardwright::Json;
    Json snapshots = Json::array();
    for (const ShelvedSnapshot& shelved : shelf.snapshots) {
        const cardwright::CardSnapshot& snapshot = shelved.snapshot;
        snapshots.push_back(Json::object({
            {"imei", snapshot.imei},
            {"taken", snapshot.taken},
            {"command", snapshot.command.empty() ? Json(nullptr) : Json(snapshot.command)},
            {"card_type", snapshot.card_type},
            {"firmware", snapshot.firmware},
            {"port", snapshot.port},
            {"settings", snapshot.settings},
            {"file", shelved.file.string()},
            {"first", shelved.first},
        }));
    }
    Json unread = Json::array();
    for (const cardwright::UnreadSnapshot& file : shelf.unread) {
        unread.push_back(Json::object({{"file", file.file.string()}, {"error", file.error}}));
    }
    cardwright::PrintJsonDocument(out, Json::object({
                                           {"folder", folder.string()},
                                           {"snapshots", snapshots},
                                           {"unread", unread},
                                           {"first_unknown", shelf.first_unknown},
                                       }));
}

}  // namespace carvexctl
