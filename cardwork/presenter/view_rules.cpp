#include "cardwork/presenter/view_rules.h"

#include <algorithm>

#include "cardwork/model/item_value.h"

namespace cardwright {

namespace {

constexpr std::string_view kEllipsis = "\u2026";

// Where each character of a UTF-8 text starts, and the text's end.
std::vector<size_t> CharacterStarts(std::string_view text) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            starts.push_back(i);
        }
    }
    starts.push_back(text.size());
    return starts;
}

// The smallest count in [1, most] for which `fits(count)` holds, or nullopt; `fits` is taken
// to hold for every count above one that does.
template <class Fits>
std::optional<size_t> LeastThatFits(size_t most, Fits fits) {
    if (most == 0 || !fits(most)) {
        return std::nullopt;
    }
    size_t low = 1;
    size_t high = most;
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (fits(middle)) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return low;
}

}  // namespace

std::optional<int32_t> LedTimeFromText(std::string_view text, int32_t preset_time) {
    if (text == std::to_string(preset_time)) {
        return preset_time;
    }
    const auto time = ParseDecimal(text);
    if (!time || *time < 0 || *time > kLedMaxTime) {
        return std::nullopt;
    }
    return time;
}

const std::vector<std::string_view>& LedTimeSuggestions() {
    static const std::vector<std::string_view> kTimes{"1",  "2",  "3",  "4",   "5",  "6",
                                                      "7",  "8",  "9",  "10",  "15", "20",
                                                      "25", "30", "50", "100", "200"};
    return kTimes;
}

std::string FitStatusText(const StatusText& status,
                          const std::function<bool(std::string_view)>& fits) {
    const std::string& text = status.text;
    if (fits(text)) {
        return text;
    }
    const size_t path_start = std::min(status.path_start, text.size());
    const size_t path_end = std::min(text.size(), path_start + status.path_length);
    const std::string before = text.substr(0, path_start);
    const std::string path = text.substr(path_start, path_end - path_start);
    const std::string after = text.substr(path_end);

    // Characters taken out of the path's middle; the file name at its end is kept longest.
    const std::vector<size_t> in_path = CharacterStarts(path);
    const size_t path_characters = in_path.size() - 1;
    const auto path_without = [&](size_t removed) {
        const size_t kept = path_characters - removed;
        const size_t left = kept / 2;
        return before + path.substr(0, in_path[left]) + std::string(kEllipsis) +
               path.substr(in_path[left + removed]) + after;
    };
    if (const auto removed = LeastThatFits(
            path_characters, [&](size_t count) { return fits(path_without(count)); })) {
        return path_without(*removed);
    }

    // The path alone is not enough: the end of what is left goes as well.
    const std::string shortened = path_characters > 0 ? path_without(path_characters) : text;
    const std::vector<size_t> in_text = CharacterStarts(shortened);
    const size_t characters = in_text.size() - 1;
    const auto text_without = [&](size_t removed) {
        return shortened.substr(0, in_text[characters - removed]) + std::string(kEllipsis);
    };
    const auto removed =
        LeastThatFits(characters, [&](size_t count) { return fits(text_without(count)); });
    return text_without(removed.value_or(characters));
}

}  // namespace cardwright
