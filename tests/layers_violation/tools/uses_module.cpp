// A tool that shares the module's code: the layers check must refuse it.
#include <core/armor_scanner.h>
