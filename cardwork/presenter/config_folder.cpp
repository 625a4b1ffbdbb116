#include "cardwork/presenter/config_folder.h"

#include <algorithm>
#include <system_error>

#include "cardwork/model/utf8_path.h"

namespace cardwright {

namespace fs = std::filesystem;

namespace {

constexpr const char* kIniFiles[] = {kDescriptionFile, kValuesFile};

bool HoldsBothIniFiles(const fs::path& folder) {
    return std::all_of(std::begin(kIniFiles), std::end(kIniFiles),
                       [&](const char* file) { return IsRegularFile(folder / file); });
}

void Seed(ConfigFolder& folder, const fs::path& examples_dir) {
    std::error_code error;
    fs::create_directories(folder.path, error);
    if (error || !fs::is_directory(folder.path, error)) {
        folder.problems.push_back("cannot create the folder " + Utf8FromPath(folder.path));
        return;
    }
    for (const char* file : kIniFiles) {
        const fs::path destination = folder.path / file;
        if (fs::exists(fs::symlink_status(destination, error))) {
            continue;
        }
        const fs::path source = examples_dir / file;
        if (!fs::exists(source, error)) {
            folder.problems.push_back("no example " + Utf8FromPath(source) + " to copy");
            continue;
        }
        if (!fs::copy_file(source, destination, error)) {
            folder.problems.push_back("cannot copy " + Utf8FromPath(source) + " to " +
                                      Utf8FromPath(destination));
            continue;
        }
        // The installed examples are read-only for the user; the copy is the user's to change.
        fs::permissions(destination, fs::perms::owner_read | fs::perms::owner_write,
                        fs::perm_options::add, error);
        folder.seeded.emplace_back(file);
    }
}

}  // namespace

bool IsRegularFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

fs::path XdgConfigHome(const std::string& xdg_config_home, const fs::path& home) {
    if (!xdg_config_home.empty() && fs::path(xdg_config_home).is_absolute()) {
        return xdg_config_home;
    }
    return home / ".config";
}

ConfigFolder ChooseConfigFolder(const ConfigFolderPlaces& places) {
    ConfigFolder folder;
    if (places.named) {
        std::error_code error;
        folder.path = fs::absolute(*places.named, error).lexically_normal();
        if (!folder.path.has_filename()) {
            folder.path = folder.path.parent_path();
        }
    } else if (HoldsBothIniFiles(places.program_dir)) {
        folder.path = places.program_dir;
        folder.complete = true;
        return folder;
    } else {
        folder.path = places.user_config_dir / "cardwright";
    }
    Seed(folder, places.examples_dir);
    folder.complete = HoldsBothIniFiles(folder.path);
    return folder;
}

}  // namespace cardwright
