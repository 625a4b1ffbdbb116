#pragma once

// The library's exports as the configurator calls them.
#include "carvex/carvex.h"
