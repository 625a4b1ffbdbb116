#include "cardwork/model/item_value.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "carvex/platform/ascii_case.h"

namespace cardwright {

namespace {

// The entry of `list` at `position`, read as a decimal integer; 0 when it is missing or not one.
int32_t NumberAt(std::string_view list, size_t position) {
    const auto entries = SplitList(list);
    if (position >= entries.size()) {
        return 0;
    }
    return ParseDecimal(entries[position]).value_or(0);
}

// The RANGE entry at the position of the first entry of `values` that equals `text`.
std::string RangeEntryFor(const TConfigItem& item, std::string_view text) {
    const auto values = SplitList(item.RangeValue);
    const auto found = std::find_if(values.begin(), values.end(), [&](const std::string& value) {
        return EqualIgnoringCase(value, text);
    });
    if (found == values.end()) {
        return {};
    }
    const auto range = SplitList(item.Range);
    const auto position = static_cast<size_t>(found - values.begin());
    return position < range.size() ? range[position] : std::string();
}

bool IsBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

}  // namespace

size_t TypeWidth(std::string_view type) {
    if (EqualIgnoringCase(type, "BYTE") || EqualIgnoringCase(type, "BOOLEAN")) {
        return 1;
    }
    if (EqualIgnoringCase(type, "WORD")) {
        return 2;
    }
    if (EqualIgnoringCase(type, "DWORD")) {
        return 4;
    }
    return 0;
}

void CopyByType(std::span<uint8_t> target, std::span<const uint8_t> source, std::string_view type) {
    const size_t width = std::min({TypeWidth(type), target.size(), source.size()});
    std::copy_n(source.begin(), width, target.begin());
}

int32_t ValueAt(std::span<const uint8_t> data, size_t offset, std::string_view type) {
    std::array<uint8_t, 4> bytes{};
    if (offset < data.size()) {
        CopyByType(bytes, data.subspan(offset), type);
    }
    const uint32_t value =
        bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    return static_cast<int32_t>(value);
}

void PutValue(std::span<uint8_t> data, size_t offset, int32_t value, std::string_view type) {
    const auto bits = static_cast<uint32_t>(value);
    const std::array<uint8_t, 4> bytes{static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                                       static_cast<uint8_t>(bits >> 16),
                                       static_cast<uint8_t>(bits >> 24)};
    if (offset < data.size()) {
        CopyByType(data.subspan(offset), bytes, type);
    }
}

std::string UpperCase(std::string_view text) {
    return carvex::AsciiUpperCase(text);
}

std::optional<int32_t> ParseDecimal(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return std::nullopt;
        }
    }
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

int32_t TextToValue(const TConfigItem& item, std::string_view text, const TConfigItem* other) {
    if (item.UserInput) {
        return ParseDecimal(text).value_or(0);
    }
    const auto range = SplitList(item.Range);
    const auto found = std::find_if(range.begin(), range.end(), [&](const std::string& entry) {
        return EqualIgnoringCase(entry, text);
    });
    if (found == range.end()) {
        return 0;
    }
    const TConfigItem& source = other != nullptr ? *other : item;
    return NumberAt(source.RangeValue, static_cast<size_t>(found - range.begin()));
}

std::string ValueToText(const TConfigItem& item, int32_t value) {
    if (item.UserInput) {
        return std::to_string(value);
    }
    return RangeEntryFor(item, std::to_string(value));
}

std::string ValueTextToText(const TConfigItem& item, std::string_view value_text) {
    if (item.UserInput) {
        return std::string(value_text);
    }
    return RangeEntryFor(item, value_text);
}

bool IsDefaultText(std::string_view text) {
    return EqualIgnoringCase(text, "DEFAULT");
}

bool MarksChanged(std::string_view shown, std::string_view default_value) {
    return shown != default_value && !IsDefaultText(shown) && !IsBlank(shown);
}

ItemKind KindOf(const TConfigItem& item) {
    if (item.NvId == kDeviceStateNvId) {
        return ItemKind::kDeviceState;
    }
    if (item.NvBit != -1) {
        return ItemKind::kOneBit;
    }
    if (item.NvByte != kNoByteOffset) {
        return ItemKind::kByteOffset;
    }
    return ItemKind::kWhole;
}

std::string ListField(std::string_view text, int k) {
    // Positions count from 1, a missing character as 0.
    const auto position = [&](char c) {
        const size_t at = text.find(c);
        return at == std::string_view::npos ? size_t{0} : at + 1;
    };
    if (position(')') <= position('(')) {
        return "-1";
    }
    std::string field;
    int index = -1;
    for (size_t at = text.find('#'); at != std::string_view::npos && index < k;
         at = text.find('#', at + 1)) {
        const size_t end = text.find_first_of("#)", at + 1);
        field =
            std::string(text.substr(at + 1, end == std::string_view::npos ? end : end - at - 1));
        ++index;
    }
    return field;
}

std::string RangeValueColumn(std::string_view text, int k) {
    std::string column;
    const auto entries = SplitList(text);
    for (size_t i = 0; i < entries.size(); ++i) {
        column += (i == 0 ? "" : ",") + ListField(entries[i], k);
    }
    return column;
}

SingleItem MakeSingleItem(const TConfigItem& item, int k) {
    SingleItem single{item, true};
    const std::string nv_id = ListField(item.NvId, k);
    const std::string nv_byte = ListField(item.NvByte, k);
    const std::string range_value = RangeValueColumn(item.RangeValue, k);
    if (nv_id == "-1" || nv_byte == "-1" || range_value == "-1") {
        single.complete = false;
        return single;
    }
    single.item.NvId = nv_id;
    single.item.NvByte = nv_byte;
    single.item.RangeValue = range_value;
    return single;
}

bool NamesNvItem(std::string_view nv_id_list, std::string_view nv_id) {
    const std::string field = "#" + std::string(nv_id);
    return nv_id_list.find(field + "#") != std::string_view::npos ||
           nv_id_list.find(field + ")") != std::string_view::npos;
}

std::optional<int32_t> NvItemNumber(std::string_view nv_id) {
    const auto number = ParseDecimal(nv_id);
    if (!number || *number < 0 || *number > std::numeric_limits<uint16_t>::max()) {
        return std::nullopt;
    }
    return number;
}

std::optional<size_t> ValueOffset(std::string_view nv_byte, std::string_view type) {
    if (nv_byte == kNoByteOffset) {
        return 0;
    }
    const auto offset = ParseDecimal(nv_byte);
    if (!offset || *offset < 0 || static_cast<size_t>(*offset) + TypeWidth(type) > kNvDataSize) {
        return std::nullopt;
    }
    return static_cast<size_t>(*offset);
}

std::string BadNumberMessage(const TConfigItem& item, std::string_view key, std::string_view text) {
    return "Item " + item.Name + ": " + std::string(key) + " \"" + std::string(text) +
           "\" is not a usable number...";
}

bool UserNumberFits(const TConfigItem& item, std::string_view text) {
    const size_t width = TypeWidth(item.ItemType);
    if (width == 0) {
        return true;
    }
    const auto value = ParseDecimal(text);
    if (!value) {
        return false;
    }
    switch (width) {
        case 1:
            return *value >= 0 && *value <= 0xFF;
        case 2:
            return *value >= 0 && *value <= 0xFFFF;
        default:
            return true;
    }
}

std::string StoredMultiValue(std::span<const int32_t> values) {
    std::string stored;
    for (size_t i = 0; i < values.size(); ++i) {
        stored += (i == 0 ? "" : "|") + std::to_string(values[i]);
    }
    return stored;
}

std::string StoredToFieldList(std::string_view stored) {
    std::string fields(stored);
    std::replace(fields.begin(), fields.end(), '|', '#');
    return "(#" + fields + ")";
}

std::string FieldListText(std::span<const int32_t> values) {
    std::string text = "(";
    for (int32_t value : values) {
        text += "#" + std::to_string(value);
    }
    return text + ")";
}

}  // namespace cardwright
