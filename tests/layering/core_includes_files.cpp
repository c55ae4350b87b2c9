// core/ sees no folder above it: this include must not be found.
#include "files/text_io.h"
