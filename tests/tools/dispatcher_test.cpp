// carvexctl's one way to end: every command's failures, of every kind, map to the same statuses.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "cardwork/batch/work_refusal.h"
#include "tools/carvexctl/carvexctl_commands.h"

namespace carvexctl {
namespace {

// The arguments each command needs for its body to run.
const std::map<std::string, std::vector<std::string>> kArguments = {
    {"info", {}},
    {"nv read", {"550"}},
    {"nv write", {"550", "01 02"}},
    {"backup", {}},
    {"pnp get", {}},
    {"pnp set", {"1", "20"}},
    {"reset", {}},
    {"ports", {}},
    {"cards", {}},
    {"crc", {"file.ini"}},
    {"verify", {"file.ini"}},
    {"read", {"--description", "Config_Info.ini"}},
    {"write", {"file.ini", "--description", "Config_Info.ini"}},
    {"apply", {"file.ini", "--description", "Config_Info.ini"}},
    {"restore", {"snapshot.json"}},
    {"records", {}},
    {"prune", {"--older-than", "30"}},
    {"snapshots", {}},
    {"export", {"out.ini", "--from-card", "--description", "Config_Info.ini"}},
    {"station", {"file.ini"}},
};

// The command's words and its arguments, as a command line gives them.
std::vector<std::string> CommandLine(const std::string& command,
                                     const std::vector<std::string>& extra = {}) {
    std::vector<std::string> words;
    std::istringstream split(command);
    for (std::string word; split >> word;) {
        words.push_back(word);
    }
    const auto& arguments = kArguments.at(command);
    words.insert(words.end(), arguments.begin(), arguments.end());
    words.insert(words.end(), extra.begin(), extra.end());
    return words;
}

TEST(Dispatcher, KnowsTheArgumentsOfEveryCommand) {
    const auto dispatcher = MakeDispatcher("9.9");
    std::vector<std::string> known;
    for (const auto& [command, arguments] : kArguments) {
        known.push_back(command);
    }
    std::vector<std::string> registered = dispatcher->Commands();
    std::sort(registered.begin(), registered.end());
    EXPECT_EQ(registered, known) << "a new command needs its arguments in this test";
}

// Each way a command can end, run as the body of every command: the status, and what it says.
TEST(Dispatcher, MapsEveryFailureKindToItsStatusForEveryCommand) {
    const struct {
        const char* kind;
        CommandBody body;
        int status;
        const char* said;
    } endings[] = {
        {"ok", [] { return ExitStatus::kOk; }, 0, ""},
        {"cards not ok", [] { return ExitStatus::kCardWorkFailed; }, 1, ""},
        {"a second Ctrl-C", [] { return ExitStatus::kInterrupted; }, 130, ""},
        {"failure", []() -> ExitStatus { throw Failure("COM12 is gone"); }, 1,
         "carvexctl: COM12 is gone\n"},
        {"refusal", []() -> ExitStatus { throw Refusal("not a hex digit"); }, 2,
         "carvexctl: not a hex digit\n"},
        {"the batch work's refusal",
         []() -> ExitStatus { throw cardwright::WorkRefusal("its CRC does not match"); }, 2,
         "carvexctl: its CRC does not match\n"},
        {"anything else", []() -> ExitStatus { throw std::runtime_error("disk full"); }, 1,
         "carvexctl: disk full\n"},
        {"not even an exception", []() -> ExitStatus { throw 7; }, 1,
         "carvexctl: the command ended with an unknown error\n"},
    };
    for (const auto& [command, arguments] : kArguments) {
        for (const auto& ending : endings) {
            SCOPED_TRACE(command + ": " + ending.kind);
            const auto dispatcher = MakeDispatcher("9.9");
            dispatcher->Replace(command, ending.body);
            std::ostringstream errors;
            EXPECT_EQ(dispatcher->Run(CommandLine(command), errors), ending.status);
            EXPECT_EQ(errors.str(), ending.said);
        }
    }
}

// A command line that is wrong (an option no command has, a --port that names no port) ends
// with 2 for every command, before its body runs; --help ends with 0.
TEST(Dispatcher, BadArgumentsEndWithTwoForEveryCommand) {
    for (const auto& [command, arguments] : kArguments) {
        SCOPED_TRACE(command);
        for (const auto& [extra, status] : std::vector<std::pair<std::vector<std::string>, int>>{
                 {{"--no-such-option"}, 2},
                 {{"--port", "COM1x"}, 2},
                 {{"--port", "COM12", "--port", "COM12"}, 2},
                 {{"--help"}, 0}}) {
            const auto dispatcher = MakeDispatcher("9.9");
            bool ran = false;
            dispatcher->Replace(command, [&] {
                ran = true;
                // A body that takes ports asks for them as the real ones do.
                static_cast<void>(dispatcher->Port().Ports());
                return ExitStatus::kOk;
            });
            std::ostringstream errors;
            testing::internal::CaptureStdout();
            const int ended = dispatcher->Run(CommandLine(command, extra), errors);
            testing::internal::GetCapturedStdout();
            EXPECT_EQ(ended, status) << extra.front() << ": " << errors.str();
            if (extra.front() != "--port") {
                EXPECT_FALSE(ran) << extra.front();
            }
        }
    }
}

}  // namespace
}  // namespace carvexctl
