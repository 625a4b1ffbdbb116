#pragma once

#include <string>

#include "cardwork/json/json_document.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace carvexctl {

using cardwright::Json;
using cardwright::TextOrNull;

// Adds --json to `command`: its output as one JSON document instead of text. Progress and what
// went wrong stay on standard error, the exit status stays what it is without it.
CLI::Option* AddJsonFlag(CLI::App* command, bool& json);

// A command's JSON output: the document on standard output, and nothing else goes there.
void PrintDocument(const Json& document);

}  // namespace carvexctl
