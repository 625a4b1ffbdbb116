// caller_check: binds carvex.dll as a Windows program does (LoadLibrary, GetProcAddress for each
// of the sixteen plain names, calls through __stdcall function pointers) and drives the card
// through it. Built 32-bit too, where a callee that pops the wrong number of argument bytes
// moves the stack pointer: every call is checked for that.
//
//   caller_check exports          the sixteen names bind; calls without a card
//   caller_check card PROFILE     a card is plugged in: the exchanges (as the simulated card's
//                                 profile has them), reset and its return
//   caller_check unopenable       the card's port cannot be opened (another program holds it)
//
// Prints one line per check and ends with "N passed, N failed, N skipped".
#include <windows.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/windows/check_output.h"
#include "tests/windows/stack_pointer.h"

namespace {

using InitCommPortFn = int32_t(__stdcall*)();
using CloseCommPortFn = int32_t(__stdcall*)();
using CarvexItemFn = int32_t(__stdcall*)(int32_t, const uint8_t*, uint32_t);
using ReadNvItemFn = int32_t(__stdcall*)(int32_t, uint8_t*, int32_t, int32_t*);
using GetTextFn = int32_t(__stdcall*)(char*, int32_t, int32_t*);
using GetIMEIFn = int32_t(__stdcall*)(uint8_t*, int32_t, int32_t*);
using GetBoardTypeFn = int32_t(__stdcall*)(char*);
using StatusOnlyFn = int32_t(__stdcall*)(int32_t*);
using SetPnPStateFn = int32_t(__stdcall*)(int32_t, int32_t, int32_t*);
using GetPnPStateFn = int32_t(__stdcall*)(int32_t*, int32_t*, int32_t*);
using ResetFn = int32_t(__stdcall*)();
using CrcFn = uint32_t(__stdcall*)(const uint8_t*, int32_t);

struct Carvex {
    InitCommPortFn InitCommPort;
    CloseCommPortFn CloseCommPort;
    CarvexItemFn CarvexItem;
    ReadNvItemFn ReadNvItem;
    GetIMEIFn GetIMEI;
    GetTextFn GetFirmwareVersion;
    GetTextFn GetPCBVersion;
    GetTextFn GetDashboardVersion;
    GetBoardTypeFn GetBoardType;
    StatusOnlyFn IsNewVersion;
    StatusOnlyFn BackupNVItems;
    SetPnPStateFn SetPnPState;
    GetPnPStateFn GetPnPState;
    ResetFn ResetDsahboard;
    CrcFn CRCFast;
    CrcFn CRCSlow;
};

CheckOutput g_out;

void Check(bool ok, const std::string& what) {
    g_out.Check(ok, what);
}

bool RunningOnWine() {
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Calls `function` with `args` and checks that the stack pointer is where it was.
template <class Function, class... Args>
auto Call(const char* name, Function function, Args... args) {
    const uintptr_t before = StackPointer();
    const auto result = function(args...);
    const uintptr_t after = StackPointer();
    if (before != after) {
        Check(false, std::string(name) + " left the stack pointer moved by " +
                         std::to_string(static_cast<long long>(after - before)) + " bytes");
    }
    return result;
}

template <class Function>
bool Bind(HMODULE library, const char* name, Function* function) {
    *function =
        reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
    Check(*function != nullptr, std::string("GetProcAddress(\"") + name + "\")");
    return *function != nullptr;
}

bool BindAll(HMODULE library, Carvex* c) {
    bool ok = true;
    ok &= Bind(library, "InitCommPort", &c->InitCommPort);
    ok &= Bind(library, "CloseCommPort", &c->CloseCommPort);
    ok &= Bind(library, "CarvexItem", &c->CarvexItem);
    ok &= Bind(library, "ReadNvItem", &c->ReadNvItem);
    ok &= Bind(library, "GetIMEI", &c->GetIMEI);
    ok &= Bind(library, "GetFirmwareVersion", &c->GetFirmwareVersion);
    ok &= Bind(library, "GetPCBVersion", &c->GetPCBVersion);
    ok &= Bind(library, "GetDashboardVersion", &c->GetDashboardVersion);
    ok &= Bind(library, "GetBoardType", &c->GetBoardType);
    ok &= Bind(library, "IsNewVersion", &c->IsNewVersion);
    ok &= Bind(library, "BackupNVItems", &c->BackupNVItems);
    ok &= Bind(library, "SetPnPState", &c->SetPnPState);
    ok &= Bind(library, "GetPnPState", &c->GetPnPState);
    ok &= Bind(library, "ResetDsahboard", &c->ResetDsahboard);
    ok &= Bind(library, "CRCFast", &c->CRCFast);
    ok &= Bind(library, "CRCSlow", &c->CRCSlow);
    // The decorated spellings must not be there: a caller looks up the plain names only.
    Check(::GetProcAddress(library, "_InitCommPort@0") == nullptr &&
              ::GetProcAddress(library, "InitCommPort@0") == nullptr &&
              ::GetProcAddress(library, "ReadNvItem@16") == nullptr,
          "no decorated export names");
    return ok;
}

std::string Text(const std::array<char, 128>& buffer) {
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

void WithoutCard(const Carvex& c) {
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    Check(Call("CRCSlow", c.CRCSlow, digits, 9) == 0x29B1, "CRCSlow(\"123456789\") is 0x29B1");
    Check(Call("CRCFast", c.CRCFast, digits, 9) == 0x29B1, "CRCFast(\"123456789\") is 0x29B1");
    Check(Call("CloseCommPort", c.CloseCommPort) == 1, "CloseCommPort without a connection");
    std::array<uint8_t, 128> data{};
    int32_t status = -1;
    Check(Call("ReadNvItem", c.ReadNvItem, 550, data.data(), 128, &status) == 0 && status == 0,
          "ReadNvItem without a connection fails with status 0");
}

// Another program holds the PC UI port: Windows refuses a second opener of a COM port, and
// InitCommPort fails.
void Unopenable(const Carvex& c) {
    const bool opened = Call("InitCommPort", c.InitCommPort) == 1;
    Check(Call("CloseCommPort", c.CloseCommPort) == 1, "CloseCommPort after the open");
    if (opened && RunningOnWine()) {
        // Wine's server checks share modes only on regular files and folders: a character device
        // (the pty behind COMn) opens any number of times.
        g_out.Skip("InitCommPort fails on a port another program holds",
                   "Wine does not refuse a second opener of a character device");
        return;
    }
    Check(!opened, "InitCommPort fails on a port another program holds");
}

bool OpenCard(const Carvex& c) {
    const bool open = Call("InitCommPort", c.InitCommPort) == 1;
    Check(open, "InitCommPort finds the PC UI interface and switches the card to DIAG");
    return open;
}

// What the simulated card's profile says the card answers.
struct CardProfile {
    std::string firmware;
    std::string pcb;
    std::string dashboard;
    std::string model;
    std::vector<uint8_t> imei_item;  // NV item 550
    int port_state = 0;
    int port_mask = 0;
};

// The value of "key = value" in the profile's text; empty when there is none.
std::string ProfileValue(const std::string& text, const std::string& key) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        std::string name = line.substr(0, equals);
        name.erase(name.find_last_not_of(' ') + 1);
        if (name == key) {
            const size_t value = line.find_first_not_of(' ', equals + 1);
            return value == std::string::npos ? std::string() : line.substr(value);
        }
    }
    return {};
}

std::optional<CardProfile> ReadProfile(const char* path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    CardProfile profile;
    profile.firmware = ProfileValue(text, "firmware");
    profile.pcb = ProfileValue(text, "pcb");
    profile.dashboard = ProfileValue(text, "dashboard");
    profile.model = ProfileValue(text, "model");
    std::istringstream bytes(ProfileValue(text, "550"));
    for (unsigned byte = 0; bytes >> std::hex >> byte;) {
        profile.imei_item.push_back(static_cast<uint8_t>(byte));
    }
    profile.port_state = std::stoi(ProfileValue(text, "port_state"), nullptr, 0);
    profile.port_mask = std::stoi(ProfileValue(text, "port_mask"), nullptr, 0);
    return profile;
}

void Exchanges(const Carvex& c, const CardProfile& profile) {
    int32_t status = 0;
    std::array<uint8_t, 15> imei{};
    const bool got_imei = Call("GetIMEI", c.GetIMEI, imei.data(), 15, &status) == 1;
    Check(got_imei && profile.imei_item.size() >= 2 && imei[0] == profile.imei_item[0] &&
              imei[1] == profile.imei_item[1],
          "GetIMEI reads NV item 550");

    struct VersionQuery {
        const char* name;
        GetTextFn function;
        const std::string& expected;
    };
    for (const VersionQuery& query : {
             VersionQuery{"GetFirmwareVersion", c.GetFirmwareVersion, profile.firmware},
             VersionQuery{"GetPCBVersion", c.GetPCBVersion, profile.pcb},
             VersionQuery{"GetDashboardVersion", c.GetDashboardVersion, profile.dashboard},
         }) {
        std::array<char, 128> text{};
        const bool ok = Call(query.name, query.function, text.data(), 128, &status) == 1;
        Check(ok && Text(text) == query.expected, std::string(query.name) + ": " + Text(text));
    }
    // The model comes from the modem port ("AT+CGMM"), found through the Modem class and its
    // class key; the DIAG fallback would give the board type instead.
    std::array<char, 128> model{};
    const bool got_model = Call("GetBoardType", c.GetBoardType, model.data()) == 1;
    Check(got_model && Text(model) == profile.model,
          "GetBoardType asks the modem port: " + Text(model));
    Check(Call("IsNewVersion", c.IsNewVersion, &status) == 0, "IsNewVersion: not a new version");

    // An NV round trip: write, read back, put the old value back.
    constexpr int32_t kItem = 50021;
    std::array<uint8_t, 128> old_value{};
    Check(Call("ReadNvItem", c.ReadNvItem, kItem, old_value.data(), 128, &status) == 1,
          "ReadNvItem(50021) reads the card's value");
    const uint8_t changed[] = {static_cast<uint8_t>(old_value[0] ^ 0x5A)};
    Check(Call("CarvexItem", c.CarvexItem, kItem, changed, 1u) == 1, "CarvexItem writes 50021");
    std::array<uint8_t, 128> value{};
    const bool read_back = Call("ReadNvItem", c.ReadNvItem, kItem, value.data(), 128, &status) == 1;
    Check(read_back && value[0] == changed[0], "ReadNvItem(50021) reads the written value back");
    Check(Call("CarvexItem", c.CarvexItem, kItem, old_value.data(), 128u) == 1,
          "CarvexItem puts the old value back");

    status = 0;
    Check(Call("BackupNVItems", c.BackupNVItems, &status) == 1, "BackupNVItems");

    int32_t state = -1;
    int32_t mask = -1;
    bool ok = Call("GetPnPState", c.GetPnPState, &state, &mask, &status) == 1;
    Check(ok && state == profile.port_state && mask == profile.port_mask,
          "GetPnPState: state " + std::to_string(state) + ", mask " + std::to_string(mask));
    const int32_t new_state = profile.port_state ^ 0x03;
    const int32_t new_mask = profile.port_mask ^ 0x10;
    Check(Call("SetPnPState", c.SetPnPState, new_state, new_mask, &status) == 1, "SetPnPState");
    ok = Call("GetPnPState", c.GetPnPState, &state, &mask, &status) == 1;
    Check(ok && state == new_state && mask == new_mask, "GetPnPState reads the new setting back");
    Call("SetPnPState", c.SetPnPState, profile.port_state, profile.port_mask, &status);
}

// The link's receiving thread waits for the card all the time the connection is idle: closing
// must wake it at once, not when a byte happens to come.
void CloseWhileReading(const Carvex& c) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the receiver is waiting now
    const auto start = std::chrono::steady_clock::now();
    Call("CloseCommPort", c.CloseCommPort);
    const double took = MillisecondsSince(start);
    Check(took < 250, "CloseCommPort with the receiver waiting returns in " +
                          std::to_string(static_cast<int>(took)) + " ms");
}

// The card restarts: it goes away and comes back on the same COM numbers.
void ResetAndReturn(const Carvex& c) {
    if (!OpenCard(c)) {
        return;
    }
    Check(Call("ResetDsahboard", c.ResetDsahboard) == 1, "ResetDsahboard is acknowledged");
    Call("CloseCommPort", c.CloseCommPort);
    bool went_away = false;
    bool back = false;
    const auto start = std::chrono::steady_clock::now();
    while (MillisecondsSince(start) < 20000) {
        const bool open = Call("InitCommPort", c.InitCommPort) == 1;
        std::array<uint8_t, 128> data{};
        int32_t status = 0;
        const bool answers =
            open && Call("ReadNvItem", c.ReadNvItem, 550, data.data(), 128, &status) == 1;
        Call("CloseCommPort", c.CloseCommPort);
        went_away = went_away || !answers;
        if (went_away && answers) {
            back = true;
            break;
        }
    }
    Check(went_away, "the card goes away after the reset");
    Check(back, "the card comes back and answers");
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "exports";
    HMODULE library = ::LoadLibraryA("carvex.dll");
    Check(library != nullptr, "LoadLibrary(\"carvex.dll\")");
    Carvex c{};
    if (library == nullptr || !BindAll(library, &c)) {
        g_out.Summary();
        return 1;
    }
    if (mode == "exports") {
        WithoutCard(c);
    } else if (mode == "card" && argc == 3) {
        const auto profile = ReadProfile(argv[2]);
        Check(profile.has_value(), std::string("the card's profile ") + argv[2] + " is read");
        if (profile && OpenCard(c)) {
            Exchanges(c, *profile);
            CloseWhileReading(c);
        }
        ResetAndReturn(c);
    } else if (mode == "unopenable") {
        Unopenable(c);
    } else {
        std::fprintf(stderr, "usage: caller_check exports | card PROFILE | unopenable\n");
        return 2;
    }
    ::FreeLibrary(library);
    return g_out.Summary();
}
