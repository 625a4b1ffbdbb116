#include "tools/carvexctl/prune_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <tuple>
#include <vector>

#include "cardwork/batch/run_folder.h"
#include "cardwork/batch/snapshot.h"
#include "cardwork/batch/stamped_name.h"
#include "cardwork/batch/utc_text.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/folder_lock.h"
#include "tools/carvexctl/command_failure.h"
#include "tools/carvexctl/records_command.h"

namespace carvexctl {

namespace {

namespace fs = std::filesystem;
using cardwright::UtcText;
using std::chrono::system_clock;

using cardwright::StampedName;

struct SnapshotFile {
    fs::path path;
    StampedName taken;
};

class Pruning {
  public:
    // `needed`: the snapshots unfinished writes still need, which stay whatever their age.
    Pruning(std::ostream& out, system_clock::time_point cutoff,
            const std::vector<std::string>& needed);

    void Snapshots(const fs::path& folder);
    void RunFolders(const fs::path& folder);
    void Records(const fs::path& db);
    // The sum; throws Failure when something could not be removed.
    void Finish();

  private:
    // The entries of a folder that is there, each as it is itself (a link is not followed).
    std::vector<fs::directory_entry> Entries(const fs::path& folder);
    void Remove(const fs::path& path, std::string_view what, size_t& count);
    // Whether a process still works in a run folder (a station, an apply): it is kept, and said.
    bool InUse(const fs::path& run_folder);

    std::ostream& out_;
    system_clock::time_point cutoff_;
    std::set<fs::path> needed_;  // as the file system resolves them
    size_t snapshots_ = 0;
    size_t run_folders_ = 0;
    size_t in_use_ = 0;
    size_t records_ = 0;
    size_t failed_ = 0;
};

// A file's path with its links and dots resolved, so that two names of one file compare equal.
fs::path Resolved(const fs::path& path) {
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(path, error);
    return error ? path : resolved;
}

Pruning::Pruning(std::ostream& out, system_clock::time_point cutoff,
                 const std::vector<std::string>& needed)
    : out_(out), cutoff_(cutoff) {
    for (const std::string& snapshot : needed) {
        needed_.insert(Resolved(snapshot));
    }
}

std::vector<fs::directory_entry> Pruning::Entries(const fs::path& folder) {
    std::vector<fs::directory_entry> entries;
    std::error_code error;
    if (!fs::exists(folder, error)) {
        return entries;
    }
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        entries.push_back(*it);
    }
    if (error) {
        std::cerr << "carvexctl: cannot look into " << folder.string() << ": " << error.message()
                  << "\n";
        ++failed_;
    }
    return entries;
}

void Pruning::Remove(const fs::path& path, std::string_view what, size_t& count) {
    std::error_code error;
    fs::remove_all(path, error);
    if (error) {
        std::cerr << "carvexctl: cannot remove " << path.string() << ": " << error.message()
                  << "\n";
        ++failed_;
        return;
    }
    out_ << "removed " << what << " " << path.string() << "\n";
    ++count;
}

void Pruning::Snapshots(const fs::path& folder) {
    // Each IMEI's snapshots, oldest first: "<IMEI>-<stamp>[-<n>].json".
    std::map<std::string, std::vector<SnapshotFile>> by_imei;
    for (const fs::directory_entry& entry : Entries(folder)) {
        std::error_code error;
        const auto name = cardwright::ParseSnapshotName(entry.path().filename().string());
        if (entry.is_regular_file(error) && !entry.is_symlink(error) && name) {
            by_imei[name->imei].push_back({entry.path(), name->saved});
        }
    }
    for (auto& [imei, files] : by_imei) {
        std::sort(files.begin(), files.end(),
                  [](const SnapshotFile& a, const SnapshotFile& b) { return a.taken < b.taken; });
        // The oldest holds the card as it was before anything was written to it: it stays.
        for (auto file = files.begin() + 1; file != files.end(); ++file) {
            if (file->taken.time >= cutoff_) {
                continue;
            }
            if (needed_.contains(Resolved(file->path))) {
                out_ << "kept snapshot " << file->path.string()
                     << ": an unfinished write of its card needs it\n";
            } else {
                Remove(file->path, "snapshot", snapshots_);
            }
        }
    }
}

bool Pruning::InUse(const fs::path& run_folder) {
    try {
        // Only the process that made a run folder ever locks it, and an old folder is no new
        // run's: once let go here, nothing takes it back before it is removed.
        if (carvex::FolderLock::TryHold(run_folder)) {
            return false;
        }
        out_ << "kept run folder " << run_folder.string() << ": in use by a running process\n";
        ++in_use_;
    } catch (const std::system_error& e) {
        std::cerr << "carvexctl: kept " << run_folder.string()
                  << ": cannot tell whether a running process uses it: " << e.what() << "\n";
        ++failed_;
    }
    return true;
}

void Pruning::RunFolders(const fs::path& folder) {
    for (const fs::directory_entry& entry : Entries(folder)) {
        std::error_code error;
        const auto made = cardwright::ParseStampedName(entry.path().filename().string());
        if (entry.is_directory(error) && !entry.is_symlink(error) && made && made->time < cutoff_ &&
            !InUse(entry.path())) {
            Remove(entry.path(), "run folder", run_folders_);
        }
    }
}

void Pruning::Records(const fs::path& db) {
    records_ = RemoveRecordsBegunBefore(db, cutoff_);
    if (records_ > 0) {
        out_ << "removed " << records_ << " record(s) begun before " << UtcText(cutoff_) << " from "
             << db.string() << "\n";
    }
}

void Pruning::Finish() {
    if (snapshots_ + run_folders_ + records_ == 0 && failed_ == 0) {
        out_ << "nothing to remove: none older than " << UtcText(cutoff_) << "\n";
    } else {
        out_ << "removed " << snapshots_ << " snapshot(s), " << run_folders_ << " run folder(s)";
        out_ << ", " << records_ << " record(s); each IMEI keeps its oldest snapshot\n";
    }
    if (in_use_ > 0) {
        out_ << "kept " << in_use_ << " run folder(s) in use by a running process\n";
    }
    if (failed_ > 0) {
        throw Failure(std::to_string(failed_) + " thing(s) could not be removed");
    }
}

// A folder to prune must be there already: a mistyped option is no empty folder.
fs::path ExistingFolder(const std::string& chosen, std::string_view option,
                        std::string_view below_state) {
    std::error_code error;
    if (!chosen.empty() && !fs::is_directory(chosen, error)) {
        throw Refusal(std::string(option) + " " + chosen + ": no such folder");
    }
    return cardwright::ChosenFolder(chosen, below_state);
}

}  // namespace

CLI::App* AddPruneCommand(CLI::App& app, PruneOptions& options) {
    auto* prune = app.add_subcommand(
        "prune",
        "remove run folders and snapshots older than some days (never the oldest snapshot of an "
        "IMEI) and, with --records, old records");
    prune->add_option("--older-than", options.older_than, "days: what is older goes")
        ->required()
        ->check(CLI::Range(1, 36500));
    prune
        ->add_option("--records", options.records_db,
                     "also remove the ended records older than that from this records database "
                     "(alone: $XDG_STATE_HOME/carvex/records.db)")
        ->expected(0, 1);
    prune->add_option("--snapshots", options.snapshots,
                      "the folder of the snapshots (default: $XDG_STATE_HOME/carvex/snapshots)");
    prune->add_option("--logs", options.logs,
                      "the folder of the run folders (default: $XDG_STATE_HOME/carvex/logs)");
    prune->parse_complete_callback(
        [&options, prune] { options.records = prune->get_option("--records")->count() > 0; });
    return prune;
}

void PruneCommand::Register(Dispatcher& dispatcher) {
    dispatcher.Add(AddPruneCommand(dispatcher.App(), options_), [this] {
        RunPruneCommand(options_, std::cout);
        return ExitStatus::kOk;
    });
}

void RunPruneCommand(const PruneOptions& options, std::ostream& out) {
    // Everything named is looked at before anything is removed.
    const fs::path snapshots = ExistingFolder(options.snapshots, "--snapshots", "snapshots");
    const fs::path logs = ExistingFolder(options.logs, "--logs", "logs");
    const fs::path db = RecordsPath(options.records_db);
    std::error_code error;
    if (options.records && !fs::exists(db, error)) {
        throw Refusal("--records " + db.string() + ": no such records database");
    }
    const system_clock::time_point cutoff =
        carvex::GetClock().WallNow() - std::chrono::days(options.older_than);
    Pruning pruning(out, cutoff, SnapshotsStillNeeded(db));
    pruning.RunFolders(logs);
    pruning.Snapshots(snapshots);
    if (options.records) {
        pruning.Records(db);
    }
    pruning.Finish();
}

}  // namespace carvexctl
