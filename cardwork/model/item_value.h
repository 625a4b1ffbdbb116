#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cardwork/model/config_item.h"

namespace cardwright {

// The data part of one NV item, as the library reads and writes it.
inline constexpr size_t kNvDataSize = 128;
using NvData = std::array<uint8_t, kNvDataSize>;

// NV_ID of the items the card keeps in its port setting instead of an NV item.
inline constexpr std::string_view kDeviceStateNvId = "-101";
// NV_BYTE of an item whose value sits at offset 0 of an NV item it has to itself.
inline constexpr std::string_view kNoByteOffset = "-1";

// Bytes a value of this TYPE takes (BYTE and BOOLEAN 1, WORD 2, DWORD 4, any letter case);
// 0 for STRING, an empty TYPE and everything else.
size_t TypeWidth(std::string_view type);

// Copies the low-order TypeWidth(type) bytes, little-endian.
void CopyByType(std::span<uint8_t> target, std::span<const uint8_t> source, std::string_view type);
// The value at `offset`: the target starts at 0, so BYTE and WORD read unsigned and DWORD
// signed. The caller keeps offset + width within the data.
int32_t ValueAt(std::span<const uint8_t> data, size_t offset, std::string_view type);
void PutValue(std::span<uint8_t> data, size_t offset, int32_t value, std::string_view type);

// Upper-cases only the letters a to z, so other scripts pass unchanged.
std::string UpperCase(std::string_view text);
// An optional sign and decimal digits that fit a signed 32-bit integer; nothing else.
std::optional<int32_t> ParseDecimal(std::string_view text);

// Shown text to value: a user-input item's text is its number (0 when it is not one); otherwise
// the RANGE entry equal to the text (letter case aside) picks the RANGE_VALUE entry at its
// position, from `other` when given. 0 when nothing matches.
int32_t TextToValue(const TConfigItem& item, std::string_view text,
                    const TConfigItem* other = nullptr);
// Value to shown text: the decimal text for user input, else the RANGE entry of the first
// RANGE_VALUE entry equal to the value's text; empty when none is.
std::string ValueToText(const TConfigItem& item, int32_t value);
// As ValueToText, from a value text such as "16" or "(#1#16)".
std::string ValueTextToText(const TConfigItem& item, std::string_view value_text);

// The shown text "DEFAULT" (any letter case) leaves the card's value untouched.
bool IsDefaultText(std::string_view text);
// Whether an item's check box is to be ticked: the text differs from the default (letter case
// counts), is not "DEFAULT" and is not blank.
bool MarksChanged(std::string_view shown, std::string_view default_value);

enum class ItemKind { kDeviceState, kOneBit, kByteOffset, kWhole };
// Decided in this order: NV_ID "-101", NV_BIT set, NV_BYTE set, else the whole NV item.
ItemKind KindOf(const TConfigItem& item);
inline bool IsMultiValue(const TConfigItem& item) {
    return item.ValueCount > 1;
}

// Field k (from 0) of a field list such as "(#904#905)": the text after the (k+1)-th "#" up to
// the next "#" or ")"; past the last field, the last one. "-1" when the text has no ")" after
// its first "(".
std::string ListField(std::string_view text, int k);
// Field k of every entry of a RANGE_VALUE list of field lists, joined with ",".
std::string RangeValueColumn(std::string_view text, int k);

struct SingleItem {
    TConfigItem item;
    // False when NV_ID or NV_BYTE is no field list, or RANGE_VALUE's column k as a whole is "-1"
    // (the list is one entry that is no field list): the item then keeps its own three texts. A
    // column in which only some entries are no field lists counts as complete, those entries
    // standing in it as "-1", a value no card holds.
    bool complete = true;
};
// The record for the k-th NV item of a multi-value item: its NV_ID, NV_BYTE and RANGE_VALUE
// reduced to field k, everything else, the name included, as the item has it.
SingleItem MakeSingleItem(const TConfigItem& item, int k);
inline constexpr std::string_view kSingleItemError = "get Single_NV_ID is error...";

// Whether a multi-value item's NV_ID list names the NV item `nv_id` ("#id#" or "#id)").
bool NamesNvItem(std::string_view nv_id_list, std::string_view nv_id);

// The NV item number in an NV_ID text (0 to 65535); nullopt when the text is not one.
std::optional<int32_t> NvItemNumber(std::string_view nv_id);
// Where a value of `type` at NV_BYTE `nv_byte` starts ("-1": 0); nullopt when the text is not a
// decimal offset or the value would not fit in the NV item's data.
std::optional<size_t> ValueOffset(std::string_view nv_byte, std::string_view type);
// The log line for an item whose description text cannot be used as a number.
std::string BadNumberMessage(const TConfigItem& item, std::string_view key, std::string_view text);

// The check before writing: a user-input item whose TYPE has a width must show a decimal integer
// that the width holds (BYTE and BOOLEAN 0 to 255, WORD 0 to 65535, DWORD any signed 32-bit).
bool UserNumberFits(const TConfigItem& item, std::string_view text);

// Stored value forms of setting files and solutions.
// Multi-value: the values of the NV items in order, joined by "|" ("1|0").
std::string StoredMultiValue(std::span<const int32_t> values);
// "1|0" as the field list "(#1#0)" that RANGE_VALUE holds.
std::string StoredToFieldList(std::string_view stored);
// The value text read from a multi-value item's NV items: "(#1#16)".
std::string FieldListText(std::span<const int32_t> values);

}  // namespace cardwright
