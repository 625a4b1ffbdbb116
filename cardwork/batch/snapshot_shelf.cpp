#include "cardwork/batch/snapshot_shelf.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace cardwright {

namespace {

namespace fs = std::filesystem;

// A snapshot's file name in the order its snapshot was saved: "<IMEI>-<time>.json" comes before
// "<IMEI>-<time>-2.json" (saved in the same second), and that before "<IMEI>-<time>-10.json".
std::pair<std::string, int> NameOrder(const fs::path& file) {
    const std::string stem = file.stem().string();
    const size_t dash = stem.rfind('-');
    if (dash == std::string::npos || dash + 1 == stem.size() || dash == 0 ||
        stem[dash - 1] != 'Z' ||
        stem.find_first_not_of("0123456789", dash + 1) != std::string::npos ||
        stem.size() - dash > 5) {
        return {stem, 1};
    }
    return {stem.substr(0, dash), std::stoi(stem.substr(dash + 1))};
}

// The IMEI a snapshot's file name starts with, as SaveSnapshot names it.
std::string ImeiOfName(const fs::path& file) {
    const std::string name = file.filename().string();
    return name.substr(0, name.find('-'));
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
    fs::directory_iterator entries(folder, error);
    if (error) {
        shelf.error = "cannot read the folder " + folder.string() + ": " + error.message();
        return shelf;
    }
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : entries) {
        if (IsSnapshotName(entry.path()) && entry.is_regular_file(error)) {
            files.push_back(entry.path());
        }
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
