// The shared library's own translation unit: the exports come whole from carvex_core.
#include "carvex/carvex.h"
