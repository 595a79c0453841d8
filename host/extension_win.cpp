#include "host/extension_win.h"

Extension* clientExtension = nullptr;
