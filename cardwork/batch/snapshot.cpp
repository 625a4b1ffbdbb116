#include "cardwork/batch/snapshot.h"

#include <array>
#include <cstdio>

#include "cardwork/batch/utc_text.h"
#include "cardwork/json/json_document.h"
#include "carvex/platform/printable_text.h"
#include "carvex/platform/whole_file.h"

namespace cardwright {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFormat = "carvexctl card snapshot 1";
constexpr int kNameTries = 1000;  // cards of one IMEI snapshotted in one second
constexpr std::string_view kChecksumLead = "  \"checksum\": \"crc32:";
constexpr std::string_view kChecksumEnd = "\"\n}\n";
constexpr size_t kChecksumDigits = 8;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::optional<NvData> NvFromHex(std::string_view text) {
    NvData data{};
    if (text.size() != data.size() * 2) {
        return std::nullopt;
    }
    for (size_t i = 0; i < data.size(); ++i) {
        const int high = HexDigit(text[2 * i]);
        const int low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        data[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return data;
}

std::string ChecksumText(uint32_t crc) {
    char text[kChecksumDigits + 1];
    std::snprintf(text, sizeof text, "%08x", crc);
    return text;
}

Json ItemsValue(const std::vector<SavedNvItem>& items) {
    Json array = Json::array();
    for (const SavedNvItem& saved : items) {
        array.push_back(
            Json::object({{"item", saved.item},
                          {"data", saved.data ? Json(NvHex(*saved.data)) : Json(nullptr)}}));
    }
    return array;
}

// A whole number from 0 to `high`, as the member `name` of `object`.
std::optional<int32_t> Number(const Json& object, std::string_view name, int32_t high) {
    const auto found = object.find(name);
    if (found == object.end() || !found->is_number_integer()) {
        return std::nullopt;
    }
    if (found->is_number_unsigned() ? found->get<uint64_t>() > static_cast<uint64_t>(high)
                                    : found->get<int64_t>() < 0 || found->get<int64_t>() > high) {
        return std::nullopt;
    }
    return static_cast<int32_t>(found->get<int64_t>());
}

// Reads the fields of a parsed snapshot; the first one that is missing or not what it must be
// fails the whole.
class SnapshotFields {
  public:
    explicit SnapshotFields(const Json& root) : root_(root) {}

    bool Text(std::string_view name, std::string& out) {
        const auto value = root_.find(name);
        if (value == root_.end() || !value->is_string()) {
            return Fail("\"" + std::string(name) + "\" is missing or no text");
        }
        out = value->get<std::string>();
        return true;
    }

    bool Items(std::string_view name, std::vector<SavedNvItem>& out) {
        const auto value = root_.find(name);
        if (value == root_.end() || !value->is_array()) {
            return Fail("\"" + std::string(name) + "\" is missing or no list");
        }
        for (const Json& entry : *value) {
            const std::optional<int32_t> item =
                entry.is_object() ? Number(entry, "item", 0xFFFF) : std::nullopt;
            const auto data = item ? entry.find("data") : entry.end();
            if (!item || data == entry.end()) {
                return Fail("an entry of \"" + std::string(name) + "\" names no NV item");
            }
            SavedNvItem saved{*item, std::nullopt};
            if (!data->is_null()) {
                if (!data->is_string() || !(saved.data = NvFromHex(data->get<std::string>()))) {
                    return Fail("NV item " + std::to_string(saved.item) +
                                " does not hold 128 bytes in hex");
                }
            }
            out.push_back(saved);
        }
        return true;
    }

    bool PortSetting(std::optional<DeviceState>& out) {
        const auto value = root_.find("port_setting");
        if (value == root_.end()) {
            return Fail("\"port_setting\" is missing");
        }
        if (value->is_null()) {
            return true;
        }
        const auto state = value->is_object() ? Number(*value, "state", 0xFF) : std::nullopt;
        const auto mask = value->is_object() ? Number(*value, "mask", 0xFF) : std::nullopt;
        if (!state || !mask) {
            return Fail("\"port_setting\" does not hold a state and a mask from 0 to 255");
        }
        out = DeviceState{*state, *mask};
        return true;
    }

    // A text that older snapshots do not hold: left empty when missing.
    bool OptionalText(std::string_view name, std::string& out) {
        if (root_.find(name) == root_.end()) {
            return true;
        }
        return Text(name, out);
    }

    const std::string& Error() const { return error_; }

  private:
    bool Fail(std::string why) {
        error_ = std::move(why);
        return false;
    }

    const Json& root_;
    std::string error_;
};

}  // namespace

uint32_t Crc32(std::string_view bytes) {
    uint32_t crc = 0xFFFFFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ ((crc & 1) != 0 ? 0xEDB88320 : 0);
        }
    }
    return crc ^ 0xFFFFFFFF;
}

std::string SnapshotText(const CardSnapshot& snapshot) {
    Json port_setting;
    if (snapshot.port_setting) {
        port_setting = Json::object(
            {{"state", snapshot.port_setting->state}, {"mask", snapshot.port_setting->mask}});
    }
    Json body = Json::object({
        {"format", kFormat},
        {"imei", snapshot.imei},
        {"firmware", snapshot.firmware},
        {"card_type", snapshot.card_type},
        {"port", snapshot.port},
        {"taken", snapshot.taken},
    });
    // A snapshot that does not say what took it is written as carvexctl 1.0 wrote it.
    if (!snapshot.command.empty()) {
        body["command"] = snapshot.command;
    }
    body["settings"] = snapshot.settings;
    body["nv_items"] = ItemsValue(snapshot.nv_items);
    body["led_items"] = ItemsValue(snapshot.led_items);
    body["port_setting"] = port_setting;
    // The checksum is the last member: it covers every byte before its line.
    std::string text = JsonText(body);
    text.erase(text.size() - 2);  // "\n}"
    text += ",\n";
    const std::string checksum = ChecksumText(Crc32(text));
    return text + std::string(kChecksumLead) + checksum + std::string(kChecksumEnd);
}

SnapshotRead ReadSnapshotText(std::string_view text) {
    SnapshotRead read;
    const size_t lead = text.rfind(kChecksumLead);
    if (lead == std::string_view::npos || lead == 0 || text[lead - 1] != '\n' ||
        text.size() != lead + kChecksumLead.size() + kChecksumDigits + kChecksumEnd.size() ||
        !text.ends_with(kChecksumEnd)) {
        read.error = "it is cut short, or no snapshot: it does not end with its checksum";
        return read;
    }
    const std::string_view stored = text.substr(lead + kChecksumLead.size(), kChecksumDigits);
    if (stored != ChecksumText(Crc32(text.substr(0, lead)))) {
        read.error =
            "its checksum does not match its contents: it was changed after it was written";
        return read;
    }
    const ParsedJson parsed = ParseJson(text);
    if (!parsed.value || !parsed.value->is_object()) {
        read.error = "it is no JSON object" +
                     (parsed.error.empty() ? "" : ": " + carvex::PrintableText(parsed.error));
        return read;
    }
    SnapshotFields fields(*parsed.value);
    CardSnapshot snapshot;
    std::string format;
    if (!fields.Text("format", format) || format != kFormat) {
        read.error =
            "it is no snapshot of carvexctl (format \"" + carvex::PrintableText(format) + "\")";
        return read;
    }
    if (!fields.Text("imei", snapshot.imei) || !fields.Text("firmware", snapshot.firmware) ||
        !fields.Text("card_type", snapshot.card_type) || !fields.Text("port", snapshot.port) ||
        !fields.Text("taken", snapshot.taken) ||
        !fields.OptionalText("command", snapshot.command) ||
        !fields.Text("settings", snapshot.settings) ||
        !fields.Items("nv_items", snapshot.nv_items) ||
        !fields.Items("led_items", snapshot.led_items) ||
        !fields.PortSetting(snapshot.port_setting)) {
        read.error = fields.Error();
        return read;
    }
    if (!IsSnapshotImei(snapshot.imei)) {
        read.error = "its IMEI is " + std::string(kNoSnapshotImei);
        return read;
    }
    read.snapshot = std::move(snapshot);
    return read;
}

SnapshotRead LoadSnapshot(const fs::path& path) {
    const carvex::WholeFile file = carvex::ReadWholeFile(path, kMaxSnapshotBytes);
    if (file.stamp.kind == carvex::FileStamp::Kind::kMissing) {
        return {std::nullopt, path.string() + " does not exist"};
    }
    if (file.error || file.stamp.kind != carvex::FileStamp::Kind::kFile) {
        return {std::nullopt, "cannot read " + path.string() +
                                  (file.error ? ": " + file.error.message() : ": not a file")};
    }
    SnapshotRead read = ReadSnapshotText(file.content);
    if (!read.snapshot) {
        read.error = path.string() + " is refused: " + read.error;
    }
    return read;
}

bool IsSnapshotImei(std::string_view imei) {
    return !imei.empty() && imei.size() <= 15 &&
           imei.find_first_not_of("0123456789") == std::string_view::npos;
}

SnapshotSaved SaveSnapshot(const fs::path& folder, const CardSnapshot& snapshot,
                           std::chrono::system_clock::time_point taken) {
    SnapshotSaved saved;
    // The IMEI names the file, and restore reads no other.
    if (!IsSnapshotImei(snapshot.imei)) {
        saved.error = "the IMEI \"" + snapshot.imei + "\" is " + std::string(kNoSnapshotImei);
        return saved;
    }
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        saved.error = "cannot make the folder " + folder.string() + ": " + error.message();
        return saved;
    }
    // Cards of one IMEI (blank or cloned) saved in the same second each keep a file of their own:
    // a name is taken only while it is free, never by replacing another card's snapshot.
    const std::string stem = snapshot.imei + "-" + UtcText(taken, true);
    const std::string text = SnapshotText(snapshot);
    for (int again = 1; again <= kNameTries; ++again) {
        const fs::path path =
            folder / (again == 1 ? stem + ".json" : stem + "-" + std::to_string(again) + ".json");
        const carvex::NewFile written = carvex::CreateNewFile(path, text);
        if (written.written) {
            saved.file = path;
            return saved;
        }
        if (!written.taken) {
            saved.error = written.error;
            return saved;
        }
    }
    saved.error = "no free name for a snapshot " + stem + " in " + folder.string();
    return saved;
}

std::string SnapshotFolderRefusal(const fs::path& folder) {
    std::error_code error;
    const fs::path wanted = fs::absolute(folder, error);
    if (error) {
        return "cannot look at " + folder.string() + ": " + error.message();
    }
    // The folder, or the nearest one above it that is there, which it would be made in: either
    // takes a new entry by the same permissions.
    fs::path existing = wanted;
    while (!fs::exists(fs::symlink_status(existing, error)) && existing.has_relative_path()) {
        existing = existing.parent_path();
    }
    if (!fs::is_directory(existing, error)) {
        return existing.string() + " is not a folder";
    }
    return carvex::ReplacementRefusal(existing / ".carvexctl-snapshot-check");
}

std::string NvHex(std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

}  // namespace cardwright
