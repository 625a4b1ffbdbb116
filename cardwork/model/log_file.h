#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace cardwright {

// ConfigLog.txt: the operation log of every run, one line each, ended by CR LF.
class LogFile {
  public:
    explicit LogFile(std::filesystem::path path) : path_(std::move(path)) {}

    const std::filesystem::path& Path() const { return path_; }
    bool Exists() const;

    // The lines of earlier runs; nullopt when the file exists but cannot be read.
    std::optional<std::vector<std::string>> ReadLines() const;
    // Makes the file hold exactly these lines. The old content stays whole until the new one is
    // on the disk: the lines go to a new file that replaces the old one (the target of a symbolic
    // link, with the old file's permissions), so a failed rewrite loses no earlier run.
    bool Rewrite(const std::vector<std::string>& lines) const;
    // Adds one line at the end.
    bool Append(const std::string& line) const;

    // Why the last failed Rewrite failed, in words.
    const std::string& LastError() const { return last_error_; }

  private:
    std::filesystem::path path_;
    mutable std::string last_error_;
};

}  // namespace cardwright
