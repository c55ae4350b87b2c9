// The batch program has no window: this include must not be found.
#include "mainwindow/frm_main.h"
