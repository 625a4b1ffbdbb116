#pragma once

#include <string>
#include <string_view>

namespace cardwright {

// SHA-256 (FIPS 180-4) of some bytes, in lower-case hex: what a record names a file's contents
// by, so that two files of one name, or one file changed, are told apart.
std::string Sha256Hex(std::string_view bytes);

}  // namespace cardwright
