#include "core/module_win.h"

HINSTANCE moduleInstance = nullptr;
