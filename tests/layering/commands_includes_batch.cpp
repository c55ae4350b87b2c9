// commands/ serves the batch program and does not know it: this include must not be found.
#include "batch/batch_run.h"
