#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cardwork/model/item_value.h"
#include "cardwork/model/nv_compose.h"

namespace cardwright {

// One NV item as a card held it.
struct SavedNvItem {
    int32_t item = 0;
    std::optional<NvData> data;  // nullopt: the card does not hold it (not active)
    friend bool operator==(const SavedNvItem&, const SavedNvItem&) = default;
};

// What a card held before a setting file was written to it: enough to put it back as it was.
struct CardSnapshot {
    std::string imei;
    std::string firmware;
    std::string card_type;
    std::string port;      // "COM12", where it was taken
    std::string taken;     // UTC, "2026-03-14T09:05:31Z"
    std::string command;   // what took it: "apply" or "restore"; empty where an older one says none
    std::string settings;  // the setting file that was about to be written
    std::vector<SavedNvItem> nv_items;   // every NV item the write changes, the LED items apart
    std::vector<SavedNvItem> led_items;  // the two items of the LED patterns
    std::optional<DeviceState> port_setting;  // nullopt: the card gave none
    friend bool operator==(const CardSnapshot&, const CardSnapshot&) = default;
};

// Whether an IMEI can name a snapshot: 1 to 15 digits. Apply refuses a card whose IMEI is not,
// before its first write, and restore refuses a snapshot whose IMEI is not.
bool IsSnapshotImei(std::string_view imei);
inline constexpr std::string_view kNoSnapshotImei = "no number of up to 15 digits";

// The snapshot as a JSON text that ends with a checksum of everything before it, so that a file
// that was edited or cut short is told from a whole one.
std::string SnapshotText(const CardSnapshot& snapshot);

struct SnapshotRead {
    std::optional<CardSnapshot> snapshot;
    std::string error;  // why the text is no whole snapshot, in words
};

SnapshotRead ReadSnapshotText(std::string_view text);
// Reads a snapshot file (at most kMaxSnapshotBytes).
SnapshotRead LoadSnapshot(const std::filesystem::path& path);
inline constexpr uint64_t kMaxSnapshotBytes = uint64_t{1024} * 1024;

struct SnapshotSaved {
    std::optional<std::filesystem::path> file;
    std::string error;
};

// Puts the snapshot into `folder` (made when missing) as "<IMEI>-<UTC time>.json" (refused when
// its IMEI is no snapshot's), never over another file: written whole, flushed to the disk, then
// renamed to its name.
SnapshotSaved SaveSnapshot(const std::filesystem::path& folder, const CardSnapshot& snapshot,
                           std::chrono::system_clock::time_point taken);

// Why SaveSnapshot could not put a snapshot into `folder` now, by its rules (the folder is made
// when missing, and must take a new file), or empty; nothing is made.
std::string SnapshotFolderRefusal(const std::filesystem::path& folder);

// NV bytes as a snapshot holds them, two lower-case hex digits a byte; carvexctl's JSON gives them
// so too.
std::string NvHex(std::span<const uint8_t> bytes);

// CRC-32 (the one of zip and Ethernet: polynomial 0x04C11DB7 reflected, initial value and final
// XOR 0xFFFFFFFF); "123456789" gives 0xCBF43926.
uint32_t Crc32(std::string_view bytes);

}  // namespace cardwright
