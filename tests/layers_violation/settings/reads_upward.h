// A settings file that reaches up into command/: the layers check must refuse it.
#pragma once
#include "command/run_state.h"
