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
    // Makes the file hold exactly these lines.
    bool Rewrite(const std::vector<std::string>& lines) const;
    // Adds one line at the end.
    bool Append(const std::string& line) const;

  private:
    std::filesystem::path path_;
};

}  // namespace cardwright
