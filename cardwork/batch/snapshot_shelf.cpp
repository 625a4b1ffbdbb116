#include "cardwork/batch/snapshot_shelf.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "cardwork/batch/stamped_name.h"

namespace cardwright {

namespace {

namespace fs = std::filesystem;

// Files in the order their snapshots were saved, as their names say ("-2" after the first of a
// second, "-10" after "-9"); names not made so after them, by name.
struct NameOrder {
    explicit NameOrder(const fs::path& file)
        : name(file.filename().string()), parsed(ParseSnapshotName(name)) {}
    bool operator<(const NameOrder& other) const {
        if (parsed && other.parsed) {
            return std::tie(parsed->imei, parsed->saved) <
                   std::tie(other.parsed->imei, other.parsed->saved);
        }
        return std::make_pair(!parsed, name) < std::make_pair(!other.parsed, other.name);
    }
    std::string name;
    std::optional<SnapshotName> parsed;
};

// The IMEI a snapshot's file name gives, or none.
std::string ImeiOfName(const fs::path& file) {
    const auto parsed = ParseSnapshotName(file.filename().string());
    return parsed ? parsed->imei : std::string();
}

bool IsSnapshotName(const fs::path& file) {
    const std::string name = file.filename().string();
    // Files being written start with a dot until they are renamed into place.
    return !name.starts_with('.') && file.extension() == ".json";
}

}  // namespace

SnapshotShelf ListSnapshots(const fs::path& folder, const std::optional<std::string>& imei) {
    SnapshotShelf shelf;
    std::error_code error;
    if (!fs::exists(folder, error)) {
        return shelf;
    }
    std::vector<fs::path> files;
    fs::directory_iterator entry(folder, error);
    for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
        std::error_code unknown;
        if (IsSnapshotName(entry->path()) && entry->is_regular_file(unknown)) {
            files.push_back(entry->path());
        }
    }
    if (error) {
        shelf.error = "cannot read the folder " + folder.string() + ": " + error.message();
        return shelf;
    }
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return NameOrder(a) < NameOrder(b); });
    for (const fs::path& file : files) {
        SnapshotRead read = LoadSnapshot(file);
        if (!read.snapshot) {
            if (!imei || ImeiOfName(file) == *imei) {
                shelf.unread.push_back({file, std::move(read.error)});
            }
        } else if (!imei || read.snapshot->imei == *imei) {
            shelf.snapshots.push_back({file, std::move(*read.snapshot)});
        }
    }
    std::stable_sort(shelf.snapshots.begin(), shelf.snapshots.end(),
                     [](const ShelvedSnapshot& a, const ShelvedSnapshot& b) {
                         return std::tie(a.snapshot.imei, a.snapshot.taken) <
                                std::tie(b.snapshot.imei, b.snapshot.taken);
                     });
    std::map<std::string, ShelvedSnapshot*> earliest;
    for (ShelvedSnapshot& shelved : shelf.snapshots) {
        earliest.try_emplace(shelved.snapshot.imei, &shelved);
    }
    for (const auto& entry : earliest) {
        const std::string& card = entry.first;
        ShelvedSnapshot& shelved = *entry.second;
        const auto before = [&](const UnreadSnapshot& unread) {
            return ImeiOfName(unread.file) == card &&
                   NameOrder(unread.file) < NameOrder(shelved.file);
        };
        if (std::any_of(shelf.unread.begin(), shelf.unread.end(), before)) {
            shelf.first_unknown.push_back(card);
        } else {
            shelved.first = true;
        }
    }
    return shelf;
}

}  // namespace cardwright
