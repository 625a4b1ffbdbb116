#pragma once

#include <string>
#include <string_view>

namespace carvex {

// A name read from a device root, sysfs or the process list, fit to be printed on a terminal or
// written to the journal: every control character (C0, DEL and C1) and every byte that is not
// part of valid UTF-8 is written as \xNN, so the name can neither move the cursor, recolour or
// clear a terminal nor start a new journal line. Everything else stays as it is.
std::string PrintableText(std::string_view text);

}  // namespace carvex
