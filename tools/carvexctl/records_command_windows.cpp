#include "tools/carvexctl/command_failure.h"
#include "tools/carvexctl/records_command.h"

namespace carvexctl {

namespace {

constexpr const char* kNoRecords = "carvexctl keeps no records of card work on Windows";

}  // namespace

void RunRecordsCommand(const RecordsQuery& query, std::ostream& /*out*/) {
    if (!query.central.empty()) {
        throw Refusal("--central is not available on Windows");
    }
    throw Failure(kNoRecords);
}

size_t RemoveRecordsBegunBefore(const std::filesystem::path& /*db*/,
                                std::chrono::system_clock::time_point /*cutoff*/) {
    throw Failure(kNoRecords);
}

std::vector<std::string> SnapshotsStillNeeded(const std::filesystem::path& /*db*/) {
    return {};
}

}  // namespace carvexctl
