#include "cardwork/json/json_document.h"

#include <set>
#include <vector>

namespace cardwright {

namespace {

constexpr auto kReplace = Json::error_handler_t::replace;

// The first pass over a text: what the library's parser accepts, less the nesting and the
// repeated member names refused here. It builds nothing, so no depth reaches the second pass.
class Checker : public nlohmann::json_sax<Json> {
  public:
    bool null() override { return true; }
    bool boolean(bool /*value*/) override { return true; }
    bool number_integer(number_integer_t /*value*/) override { return true; }
    bool number_unsigned(number_unsigned_t /*value*/) override { return true; }
    bool number_float(number_float_t /*value*/, const string_t& /*text*/) override { return true; }
    bool string(string_t& /*value*/) override { return true; }
    bool binary(binary_t& /*value*/) override { return true; }

    bool start_object(std::size_t /*size*/) override { return Enter(); }
    bool end_object() override { return Leave(); }
    bool start_array(std::size_t /*size*/) override { return Enter(); }
    bool end_array() override { return Leave(); }

    bool key(string_t& name) override {
        if (!names_.back().insert(name).second) {
            error_ = "the member \"" + name + "\" twice";
            return false;
        }
        return true;
    }

    bool parse_error(std::size_t /*position*/, const std::string& /*last_token*/,
                     const nlohmann::detail::exception& error) override {
        // "[json.exception.parse_error.101] parse error at line 1, column 2: ...": the words only.
        const std::string_view what = error.what();
        const size_t words = what.find("] ");
        error_ = std::string(words == std::string_view::npos ? what : what.substr(words + 2));
        return false;
    }

    const std::string& Error() const { return error_; }

  private:
    bool Enter() {
        if (names_.size() >= static_cast<size_t>(kJsonMaxDepth)) {
            error_ = "nested deeper than " + std::to_string(kJsonMaxDepth) + " levels";
            return false;
        }
        names_.emplace_back();
        return true;
    }
    bool Leave() {
        names_.pop_back();
        return true;
    }

    std::vector<std::set<std::string>> names_;  // per open array or object, its member names
    std::string error_;
};

}  // namespace

// By the library's own writer: the same replacement as on the way out. The parser refuses such
// bytes outright.
std::string ValidUtf8(std::string_view text) {
    const std::string quoted = Json(std::string(text)).dump(-1, ' ', false, kReplace);
    return Json::parse(quoted).get<std::string>();
}

std::string JsonText(const Json& value) {
    return value.dump(2, ' ', false, kReplace);
}

std::string JsonLine(const Json& value) {
    return value.dump(-1, ' ', false, kReplace) + "\n";
}

Json TextOrNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : Json(text);
}

void PrintJsonDocument(std::ostream& out, const Json& value) {
    out << JsonText(value) << "\n";
}

void PrintJsonLine(std::ostream& out, const Json& value) {
    out << JsonLine(value) << std::flush;
}

ParsedJson ParseJson(std::string_view text) {
    const std::string valid = ValidUtf8(text);
    Checker checker;
    if (!Json::sax_parse(valid, &checker)) {
        return {std::nullopt, checker.Error()};
    }
    return {Json::parse(valid), {}};
}

}  // namespace cardwright
