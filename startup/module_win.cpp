#include "startup/module_win.h"

HINSTANCE moduleInstance = nullptr;
