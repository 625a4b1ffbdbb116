#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "cardwork/card/stream_log.h"

namespace cardwright {

// The log of one card's work, in the folder of its run: the lines the configurator would log,
// each after its local date and time. It is named after the card's port ("COM12.log") until the
// card's IMEI is known, then after both ("356789012345678-COM12.log"), so that a run's logs are
// found by the card as well as by the slot it was in. A name an earlier attempt's log has is not
// taken: the next is numbered ("356789012345678-COM12-2.log").
class CardLog : public LogSink {
  public:
    CardLog(const std::filesystem::path& folder, std::string port);
    CardLog(const CardLog&) = delete;
    CardLog& operator=(const CardLog&) = delete;

    // Why the file could not be opened for adding lines, or empty: the card is then not touched.
    const std::string& Failure() const { return failure_; }
    const std::filesystem::path& Path() const { return path_; }

    void AddLog(std::string_view message) override;

    // Renames the log after the card's IMEI and port. An IMEI that is no number of up to 15
    // digits names no file: the log keeps the port's name, as it does when the rename fails
    // (which it says).
    void NameAfter(std::string_view imei);

  private:
    void Open();

    std::filesystem::path folder_;
    std::string port_;
    std::filesystem::path path_;
    bool named_ = false;  // after the IMEI
    std::string failure_;
    std::ofstream file_;
    StreamLog log_{file_};
};

}  // namespace cardwright
