// A layer sees every layer below it: this include must be found.
#include "core/state.h"
