#include "core/shared_state_win.h"

// A section of its own, marked shared, is what makes the launcher and the
// mail client see one record once both have the module loaded: the linker
// gives the DLL's ".shr" section the shared attribute, so the system maps
// the same pages into every process instead of copying them. The attribute
// needs an initialised definition, hence the explicit "{}". In a statically
// linked test executable the section is just private data.
SharedState sharedState __attribute__((section(".shr"), shared)) = {};
