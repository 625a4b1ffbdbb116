#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}  // namespace CLI

namespace carvexctl {

// "COM12", "com12" or "12" as the number 12; nullopt for anything else.
std::optional<int> ParseComPort(std::string_view text);

// The global --port COMn: which card a command works on. It may be given before or after the
// subcommand; commands that work on one card take at most one, `apply` and `cards` several.
class PortOption {
  public:
    // Adds the option to `app`, which must outlive the parse, and lets every subcommand pass it
    // on to `app`.
    explicit PortOption(CLI::App& app);

    // Every port named, in order (none: every card). Throws Refusal for a text that names no COM
    // port or for a port named twice.
    std::vector<int> Ports() const;
    // The card of a command that works on one: nullopt for the first card of the device root.
    // Throws Refusal when several are named.
    std::optional<int> Single(std::string_view command) const;

  private:
    std::vector<std::string> texts_;
};

}  // namespace carvexctl
