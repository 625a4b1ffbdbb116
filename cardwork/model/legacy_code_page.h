#pragma once

#include "carvex/platform/code_page.h"

namespace cardwright {

// The code page that the configurator reads a file in when the file is not UTF-8, and writes
// into such a file in: the Windows program wrote its description, values and setting files in
// its ANSI code page. On Windows that is the system's; elsewhere it is CP936 until the
// configuration names another (cardwright.conf's legacy_codepage). Every INI file opened
// afterwards takes it.
carvex::CodePage LegacyCodePage();
void SetLegacyCodePage(carvex::CodePage code_page);

}  // namespace cardwright
