#include "cardwork/batch/card_log.h"

#include <cerrno>
#include <cstring>

#include "cardwork/batch/snapshot.h"

namespace cardwright {

namespace fs = std::filesystem;

CardLog::CardLog(const fs::path& folder, std::string port)
    : folder_(folder), port_(std::move(port)), path_(folder / (port_ + ".log")) {
    Open();
}

void CardLog::Open() {
    errno = 0;
    file_.open(path_, std::ios::app);
    if (!file_) {
        const int reason = errno;
        std::error_code error;
        failure_ = "cannot write " + path_.string();
        if (fs::is_directory(path_, error)) {
            failure_ += ": it is a folder";
        } else if (reason != 0) {
            failure_ += ": " + std::string(std::strerror(reason));
        }
    }
}

void CardLog::AddLog(std::string_view message) {
    if (file_) {
        log_.AddLog(message);
    }
}

void CardLog::NameAfter(std::string_view imei) {
    if (!file_ || !IsSnapshotImei(imei)) {
        return;
    }
    const fs::path named = folder_ / (std::string(imei) + "-" + port_ + ".log");
    if (named == path_) {
        return;
    }
    // Closed for the rename, which Windows refuses for an open file.
    file_.close();
    std::error_code error;
    if (fs::exists(named, error)) {
        error = std::make_error_code(std::errc::file_exists);
    } else {
        fs::rename(path_, named, error);
    }
    const std::string why = error.message();
    if (!error) {
        path_ = named;
    }
    Open();
    if (error) {
        AddLog("The log keeps its name: it could not be named " + named.filename().string() + ": " +
               why + "...");
    }
}

}  // namespace cardwright
