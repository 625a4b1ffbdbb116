#pragma once

// The library's exports as the configurator calls them: only its card seam, LibraryCard, does.
#include "carvex/carvex.h"
