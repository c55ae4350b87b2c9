// files/ sees core/ and itself only: this include must not be found.
#include "commands/app.h"
