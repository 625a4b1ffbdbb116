// platform_check: the Windows backend of carvex/platform on its own, under Wine: the device lists
// and the registry as the card's driver left them, COM ports through SerialNetPort, the process
// environment, and whole-file reads and replacements; on its own, under a Chinese locale, the
// conversions through the ANSI code page.
//
//   platform_check PCUI_PORT MODEM_PORT WORK_FOLDER
//   platform_check code-page
#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "carvex/link/port_discovery.h"
#include "carvex/link/serial_net_port.h"
#include "carvex/platform/code_page.h"
#include "carvex/platform/device_list.h"
#include "carvex/platform/environment.h"
#include "carvex/platform/registry.h"
#include "carvex/platform/whole_file.h"
#include "tests/windows/check_output.h"

namespace {

using namespace carvex;
using namespace std::chrono_literals;

CheckOutput g_out;

void Check(bool ok, const std::string& what) {
    g_out.Check(ok, what);
}

void DeviceListsAndRegistry(const DeviceRoot& root, int pcui, int modem) {
    const DeviceList ports(root, DeviceClass::kPorts);
    int count = 0;
    while (ports.Enumerate(count) == DeviceList::Entry::kPresent) {
        ++count;
    }
    Check(count >= 1, "the Ports class lists " + std::to_string(count) + " devices");
    Check(!ports.FriendlyName(count).has_value(), "no name behind the last Ports device");
    Check(FindDiagPort(root) == pcui, "FindDiagPort gives COM" + std::to_string(pcui));
    Check(FindModemPort(root) == modem, "FindModemPort gives COM" + std::to_string(modem));

    const auto class_key = RegistryKey::OpenLocalMachine(root, kModemClassKey);
    Check(class_key.has_value(), "the modem class key opens with the rights asked");
    if (class_key) {
        const auto subkeys = class_key->SubkeyNames();
        Check(!subkeys.empty() && subkeys.front() == "0000", "its first subkey is 0000");
    }
    const auto subkey = RegistryKey::OpenLocalMachine(root, std::string(kModemClassKey) + "\\0000");
    Check(subkey && subkey->ReadString("AttachedTo") == "COM" + std::to_string(modem),
          "0000's AttachedTo names the modem's port");
    Check(subkey && !subkey->ReadString("NoSuchValue").has_value(),
          "a missing value reads as none");
    Check(!RegistryKey::OpenLocalMachine(root, "System\\NoSuchKey\\Anywhere").has_value(),
          "a missing key does not open");
}

// Reads one byte at a time until `ending` has come, as the link's receiver reads, on a thread
// that Cancel can always release.
class Reader {
  public:
    Reader(SerialNetPort& port, std::string ending)
        : ending_(std::move(ending)), thread_([this, &port] { Run(port); }) {}
    ~Reader() { thread_.join(); }

    // True when the ending came within `limit`.
    bool WaitFor(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return done_.wait_for(lock, limit, [&] { return finished_; }) && complete_;
    }
    bool Cancelled() {
        std::lock_guard lock(mutex_);
        return cancelled_;
    }
    bool Finished() {
        std::lock_guard lock(mutex_);
        return finished_;
    }
    // How the reader ended, for the check's line.
    std::string Outcome() {
        std::lock_guard lock(mutex_);
        if (!finished_) {
            return "still reading";
        }
        if (complete_) {
            return "the ending came";
        }
        return cancelled_ ? "cancelled after " + std::to_string(text_.size()) + " bytes"
                          : "the read failed after " + std::to_string(text_.size()) + " bytes";
    }

  private:
    void Run(SerialNetPort& port) {
        for (;;) {
            uint8_t byte = 0;
            uint32_t received = 0;
            const bool ok = port.Read({&byte, 1}, &received);
            std::lock_guard lock(mutex_);
            if (!ok || received == 0) {
                cancelled_ = ok;
                break;
            }
            text_.push_back(static_cast<char>(byte));
            if (text_.ends_with(ending_)) {
                complete_ = true;
                break;
            }
        }
        std::lock_guard lock(mutex_);
        finished_ = true;
        done_.notify_all();
    }

    std::string ending_;
    std::string text_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    bool complete_ = false;
    bool cancelled_ = false;
    std::thread thread_;
};

void SerialPorts(const DeviceRoot& root, int modem) {
    SerialNetPort missing(root);
    missing.Configure(250, 115200);
    Check(!missing.Open() && missing.LastError() == kPortCannotOpen,
          "a port that does not exist fails to open with code 10");

    SerialNetPort port(root);
    port.Configure(modem, 115200);
    Check(port.Open() && port.LastError() == kPortNoError, "the modem port opens");
    Check(!port.Open() && port.LastError() == kPortAlreadyOpen,
          "a second Open fails with code 3 and keeps the port");

    {
        // The answer wakes the waiting reader: the received-character event.
        Reader reader(port, "OK\r\n");
        const std::string command = "AT\r";
        Check(port.Write({reinterpret_cast<const uint8_t*>(command.data()), command.size()}),
              "the command is written");
        const bool answered = reader.WaitFor(5s);
        Check(answered, "the reader, waiting for the port's event, gets the answer (" +
                            reader.Outcome() + ")");
        if (!answered) {
            port.Cancel();
        }
    }
    {
        // Nothing comes: Cancel releases the reader at once, with nothing received.
        Reader reader(port, "never");
        std::this_thread::sleep_for(200ms);  // the reader waits now
        Check(!reader.Finished(), "with nothing sent, the reader waits (" + reader.Outcome() + ")");
        const auto start = std::chrono::steady_clock::now();
        port.Cancel();
        const bool released = reader.WaitFor(250ms) || reader.Finished();
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        Check(released && reader.Cancelled(),
              "Cancel releases the waiting reader in " + std::to_string(took.count()) + " ms");
    }
    port.Close();
    Check(port.LastError() == kPortNoError && port.BaudRate() == 115200,
          "after Close the last error is 0 and the speed 115200");
    SerialNetPort again(root);
    again.Configure(modem, 115200);
    Check(again.Open(), "a port closed by its first owner opens again");
}

void Environment() {
    const std::string name = "EWComPortNum";
    Check(SetEnvironmentValue(name, "\\\\.\\COM13"), "EWComPortNum is set");
    char native[64] = {};
    ::GetEnvironmentVariableA(name.c_str(), native, sizeof native);
    Check(EnvironmentValue(name) == "\\\\.\\COM13" && std::string(native) == "\\\\.\\COM13",
          "the process environment itself holds it");
    Check(RemoveEnvironmentValue(name) && !EnvironmentValue(name).has_value(),
          "EWComPortNum is removed");
}

void WholeFiles(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    const auto file = folder / "Config_Info.ini";
    Check(StampOf(file).kind == FileStamp::Kind::kMissing, "a missing file stamps as missing");
    const auto first = ReplaceWholeFile(file, "[PAGE]\r\nA=1\r\n");
    Check(first.stamp && first.stamp->kind == FileStamp::Kind::kFile, "a new file is written");
    Check(ReadWholeFile(file).content == "[PAGE]\r\nA=1\r\n", "it reads back whole");
    const auto second = ReplaceWholeFile(file, "[PAGE]\r\nA=22\r\n");
    Check(second.stamp && *second.stamp != *first.stamp && second.stamp->inode != 0,
          "a replacement changes the stamp");
    Check(ReadWholeFile(file).content == "[PAGE]\r\nA=22\r\n", "the replacement reads back");
    const auto limited = ReadWholeFile(file, 4);
    Check(limited.content.empty() && limited.error == std::errc::file_too_large,
          "a file above the limit is not read");
    Check(StampOf(folder).kind == FileStamp::Kind::kFolder, "a folder stamps as a folder");
    Check(!ReplaceWholeFile(folder, "x").stamp, "a folder is not replaced");

    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
    Check(!ReplaceWholeFile(file, "lost").stamp &&
              ReadWholeFile(file).content == "[PAGE]\r\nA=22\r\n",
          "a read-only file stays as it is");
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);

    {
        std::string error;
        auto first = WriterLock::Take(file, 1000ms, error);
        Check(first.has_value(), "a writer takes the file's lock");
        const auto start = std::chrono::steady_clock::now();
        const auto second = WriterLock::Take(file, 200ms, error);
        const auto waited = std::chrono::steady_clock::now() - start;
        Check(!second && waited >= 150ms && waited < 2s,
              "a second writer waits its limit for it, then gives up: " + error);
        first.reset();
        Check(WriterLock::Take(file, 1000ms, error).has_value(),
              "once the first lets go, the lock is had");
    }

    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++entries;
    }
    Check(entries == 2, "no temporary file is left behind (the file and its lock)");
}

// Run where the ANSI code page is 936, as on a Chinese Windows.
void CodePages() {
    if (::GetACP() != 936) {
        g_out.Skip("the ANSI code page conversions",
                   "the ANSI code page is " + std::to_string(::GetACP()) + ", not 936");
        return;
    }
    const CodePage ansi("ignored on Windows");
    Check(ansi.Name() == "CP936" && ansi.Known(), "the code page is the system's: " + ansi.Name());
    // The LED page's texts.
    const std::pair<std::string, std::string> samples[] = {
        {"灭", "\xc3\xf0"},
        {"蓝色", "\xc0\xb6\xc9\xab"},
        {"设备被删除", "\xc9\xe8\xb1\xb8\xb1\xbb\xc9\xbe\xb3\xfd"},
        {"€ é", "\x80 \xa8\xa6"},
    };
    for (const auto& [utf8, cp936] : samples) {
        const auto decoded = ansi.ToUtf8(cp936);
        Check(decoded.exact && decoded.text == utf8, utf8 + " reads from its CP936 bytes");
        Check(ansi.FromUtf8(utf8) == cp936, utf8 + " is written as its CP936 bytes");
    }
    Check(!ansi.FromUtf8("한").has_value() && !ansi.FromUtf8("ok 😀").has_value(),
          "a character CP936 lacks is not written, not even as a substitute");
    Check(!ansi.FromUtf8("\xff").has_value(), "bytes that are no UTF-8 are not written");
    const auto bad = ansi.ToUtf8("a=\x81\r\nb=\xc3\xf0\xff\n");
    Check(!bad.exact && bad.text == "a=\xEF\xBF\xBD\r\nb=灭\xEF\xBF\xBD\n",
          "a byte that is no CP936 reads as U+FFFD, the line break after a lead byte stays");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "code-page") {
        CodePages();
        return g_out.Summary();
    }
    if (argc != 4) {
        std::fprintf(stderr,
                     "usage: platform_check PCUI_PORT MODEM_PORT WORK_FOLDER\n"
                     "       platform_check code-page\n");
        return 2;
    }
    const int pcui = std::atoi(argv[1]);
    const int modem = std::atoi(argv[2]);
    const DeviceRoot root = DeviceRoot::FromEnvironment();
    DeviceListsAndRegistry(root, pcui, modem);
    SerialPorts(root, modem);
    Environment();
    WholeFiles(argv[3]);
    return g_out.Summary();
}
