#include <fnmatch.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "tests/support/run_program.h"

namespace {

// One "KEY{attribute}OP"value"" of a rule line.
struct Item {
    std::string key;
    std::string attribute;
    std::string op;
    std::string value;
};

struct Rule {
    int line = 0;
    std::vector<Item> items;
};

// Reads rules as udev does: "#" comments, blank lines, a backslash joins the next line; a rule
// is comma-separated items. Errors are "line N: what".
std::vector<Rule> ParseRules(std::istream& in, std::vector<std::string>& errors) {
    std::vector<Rule> rules;
    std::string line;
    std::string pending;
    int number = 0;
    int first_line = 0;
    while (std::getline(in, line)) {
        ++number;
        if (pending.empty()) {
            first_line = number;
        }
        if (!line.empty() && line.back() == '\\') {
            pending += line.substr(0, line.size() - 1);
            continue;
        }
        const std::string text = pending + line;
        pending.clear();
        const size_t start = text.find_first_not_of(" \t");
        if (start == std::string::npos || text[start] == '#') {
            continue;
        }
        Rule rule{first_line, {}};
        size_t at = start;
        const auto fail = [&](const std::string& what) {
            errors.push_back("line " + std::to_string(first_line) + ": " + what);
        };
        while (at < text.size()) {
            Item item;
            while (at < text.size() &&
                   (std::isupper(static_cast<unsigned char>(text[at])) || text[at] == '_')) {
                item.key += text[at++];
            }
            if (at < text.size() && text[at] == '{') {
                const size_t close = text.find('}', at);
                if (close == std::string::npos) {
                    fail("unclosed {");
                    break;
                }
                item.attribute = text.substr(at + 1, close - at - 1);
                at = close + 1;
            }
            for (const char* op : {"==", "!=", "+=", "-=", ":=", "="}) {
                if (text.compare(at, std::strlen(op), op) == 0) {
                    item.op = op;
                    at += item.op.size();
                    break;
                }
            }
            if (item.key.empty() || item.op.empty() || at >= text.size() || text[at] != '"') {
                fail("expected KEY OP \"value\" at column " + std::to_string(at + 1));
                break;
            }
            const size_t quote = text.find('"', at + 1);
            if (quote == std::string::npos) {
                fail("unterminated value");
                break;
            }
            item.value = text.substr(at + 1, quote - at - 1);
            rule.items.push_back(item);
            at = text.find_first_not_of(" \t", quote + 1);
            if (at == std::string::npos) {
                break;
            }
            if (text[at] != ',') {
                fail("expected \",\" at column " + std::to_string(at + 1));
                break;
            }
            at = text.find_first_not_of(" \t", at + 1);
        }
        rules.push_back(rule);
    }
    return rules;
}

// The operators each key of udev takes (as its manual lists them).
std::string CheckItem(const Item& item) {
    static const std::set<std::string> kMatchOnly = {
        "ACTION",  "DEVPATH", "KERNEL", "KERNELS", "SUBSYSTEM", "SUBSYSTEMS", "DRIVER",
        "DRIVERS", "ATTRS",   "TAGS",   "TEST",    "PROGRAM",   "RESULT",     "CONST"};
    static const std::set<std::string> kBoth = {"NAME", "SYMLINK", "ENV", "TAG", "ATTR", "SYSCTL"};
    static const std::set<std::string> kAssignOnly = {"OWNER", "GROUP", "MODE",   "SECLABEL", "RUN",
                                                      "LABEL", "GOTO",  "IMPORT", "OPTIONS"};
    const bool match = item.op == "==" || item.op == "!=";
    const std::set<std::string> kWithAttribute = {"ATTR", "ATTRS", "SYSCTL",   "ENV",
                                                  "TEST", "CONST", "SECLABEL", "IMPORT"};
    if (kWithAttribute.contains(item.key) && item.attribute.empty()) {
        return item.key + " needs {attribute}";
    }
    if (kMatchOnly.contains(item.key)) {
        return match ? "" : item.key + " only matches";
    }
    if (kBoth.contains(item.key)) {
        return "";
    }
    if (!kAssignOnly.contains(item.key)) {
        return "unknown key " + item.key;
    }
    if (item.key == "IMPORT") {
        static const std::set<std::string> kImports = {"program", "builtin", "file",
                                                       "db",      "cmdline", "parent"};
        return kImports.contains(item.attribute) && item.op != "-="
                   ? ""
                   : "IMPORT{" + item.attribute + "}" + item.op;
    }
    if (item.key == "RUN" && !item.attribute.empty() && item.attribute != "program" &&
        item.attribute != "builtin") {
        return "RUN{" + item.attribute + "}";
    }
    if ((item.key == "LABEL" || item.key == "GOTO") && item.op != "=") {
        return item.key + " takes =";
    }
    return match ? item.key + " cannot be matched" : "";
}

std::vector<Rule> LoadRule(std::vector<std::string>& errors) {
    std::ifstream file(CARVEX_UDEV_RULE);
    EXPECT_TRUE(file.good()) << CARVEX_UDEV_RULE;
    return ParseRules(file, errors);
}

TEST(UdevRule, ParsesWithKnownKeysOperatorsAndLabels) {
    std::vector<std::string> errors;
    const auto rules = LoadRule(errors);
    ASSERT_FALSE(rules.empty());
    std::set<std::string> labels_ahead;
    for (auto it = rules.rbegin(); it != rules.rend(); ++it) {
        for (const Item& item : it->items) {
            if (item.key == "LABEL") {
                labels_ahead.insert(item.value);
            }
        }
        for (const Item& item : it->items) {
            const std::string problem = CheckItem(item);
            if (!problem.empty()) {
                errors.push_back("line " + std::to_string(it->line) + ": " + problem);
            }
        }
    }
    // GOTO only jumps forward.
    std::set<std::string> labels_seen;
    for (const Rule& rule : rules) {
        for (const Item& item : rule.items) {
            if (item.key == "GOTO" && !labels_ahead.contains(item.value)) {
                errors.push_back("line " + std::to_string(rule.line) + ": no label " + item.value);
            }
            if (item.key == "GOTO" && labels_seen.contains(item.value)) {
                errors.push_back("line " + std::to_string(rule.line) + ": jumps back");
            }
            if (item.key == "LABEL") {
                labels_seen.insert(item.value);
            }
        }
    }
    EXPECT_TRUE(errors.empty()) << ::testing::PrintToString(errors);

    // It must come after 60-serial.rules and ModemManager's 77-mm-*.rules, whose properties it
    // reads.
    const std::string name = std::filesystem::path(CARVEX_UDEV_RULE).filename().string();
    EXPECT_GT(std::stoi(name.substr(0, 2)), 77) << name;
    EXPECT_TRUE(name.ends_with(".rules"));
}

// udev's own check, where its udevadm has one (systemd 253 and later; Debian 12 has 252).
TEST(UdevRule, UdevadmVerifyAcceptsIt) {
    const std::string udevadm = "/usr/bin/udevadm";
    if (!std::filesystem::exists(udevadm) ||
        testsupport::RunProgram(udevadm, {"verify", "--help"}).exit_code != 0) {
        GTEST_SKIP() << "no udevadm verify here";
    }
    const auto r = testsupport::RunProgram(udevadm, {"verify", CARVEX_UDEV_RULE});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

TEST(UdevRule, OurParserCatchesBrokenLines) {
    for (const char* broken :
         {"ACTION==\"add\" RUN+=\"x\"", "ACTION==\"add", "ACTION~\"add\"", "ENV{ID_X==\"1\""}) {
        std::istringstream in(broken);
        std::vector<std::string> errors;
        ParseRules(in, errors);
        EXPECT_EQ(errors.size(), 1u) << broken;
    }
    EXPECT_NE(CheckItem({"ACTION", "", "=", "add"}), "");
    EXPECT_NE(CheckItem({"GOTO", "", "==", "x"}), "");
    EXPECT_NE(CheckItem({"IMPORT", "", "=", "x"}), "");
}

// The rule run for one event: which programs udev imports from and runs. A device is described
// by its properties and the subsystems of its parents.
struct Device {
    std::map<std::string, std::string> env;
    std::vector<std::string> parent_subsystems;
};

bool Matches(const std::string& pattern, const std::string& value) {
    std::stringstream alternatives(pattern);
    std::string alternative;
    while (std::getline(alternatives, alternative, '|')) {
        if (::fnmatch(alternative.c_str(), value.c_str(), 0) == 0) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> Evaluate(const std::vector<Rule>& rules, Device device) {
    std::vector<std::string> effects;
    std::string skip_to;
    for (const Rule& rule : rules) {
        bool all_match = true;
        for (const Item& item : rule.items) {
            if (!skip_to.empty()) {
                if (item.key == "LABEL" && item.value == skip_to) {
                    skip_to.clear();
                }
                all_match = false;
                continue;
            }
            if (item.op != "==" && item.op != "!=") {
                continue;
            }
            bool matched = false;
            if (item.key == "SUBSYSTEMS") {
                for (const std::string& subsystem : device.parent_subsystems) {
                    matched = matched || Matches(item.value, subsystem);
                }
            } else {
                const std::string key = item.key == "ENV" ? item.attribute : item.key;
                matched = Matches(item.value, device.env[key]);
            }
            all_match = all_match && matched == (item.op == "==");
        }
        if (!all_match) {
            continue;
        }
        for (const Item& item : rule.items) {
            if (item.key == "GOTO") {
                skip_to = item.value;
            } else if (item.key == "RUN" || item.key == "IMPORT") {
                effects.push_back(item.key + ":" + item.value);
            }
        }
    }
    return effects;
}

TEST(UdevRule, RunsThePublisherOnTheEventsOfUsbTtysOnly) {
    std::vector<std::string> errors;
    const auto rules = LoadRule(errors);
    const std::vector<std::string> publish = {"IMPORT:carvex-udev --classify", "RUN:carvex-udev"};
    struct Case {
        const char* action;
        const char* subsystem;
        std::vector<std::string> parents;
        std::vector<std::string> effects;
    } cases[] = {
        {"add", "tty", {"usb-serial", "usb", "usb"}, publish},
        {"change", "tty", {"usb"}, publish},
        {"remove", "tty", {}, {"RUN:carvex-udev"}},
        {"add", "tty", {"platform"}, {}},
        {"bind", "tty", {"usb"}, {}},
        {"add", "usb", {"usb"}, {}},
        {"remove", "block", {}, {}},
    };
    for (const auto& c : cases) {
        Device device{{{"ACTION", c.action}, {"SUBSYSTEM", c.subsystem}}, c.parents};
        EXPECT_EQ(Evaluate(rules, device), c.effects) << c.action << " " << c.subsystem;
    }

    // The options the rule passes are ones the program knows.
    const auto help = testsupport::RunProgram(CARVEX_UDEV, {"--help"});
    EXPECT_NE(help.out.find("--classify"), std::string::npos) << help.out;
}

}  // namespace
