#include "cardwork/batch/card_log.h"

#include <cerrno>
#include <cstring>

#include "cardwork/batch/snapshot.h"

namespace cardwright {

namespace fs = std::filesystem;

namespace {

// "<stem>.log", or when an earlier attempt's log has that name (a station works many cards on
// one port in one folder, and tries a card again), the first free "<stem>-2.log", "-3" ...
fs::path UnusedName(const fs::path& folder, const std::string& stem) {
    fs::path path = folder / (stem + ".log");
    std::error_code error;
    for (int again = 2; fs::is_regular_file(path, error); ++again) {
        path = folder / (stem + "-" + std::to_string(again) + ".log");
    }
    return path;
}

}  // namespace

CardLog::CardLog(const fs::path& folder, std::string port)
    : folder_(folder), port_(std::move(port)), path_(UnusedName(folder, port_)) {
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
    if (!file_ || !IsSnapshotImei(imei) || named_) {
        return;
    }
    const fs::path named = UnusedName(folder_, std::string(imei) + "-" + port_);
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
        named_ = true;
    }
    Open();
    if (error) {
        AddLog("The log keeps its name: it could not be named " + named.filename().string() + ": " +
               why + "...");
    }
}

}  // namespace cardwright
