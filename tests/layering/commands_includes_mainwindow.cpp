// commands/ reaches a person only through its seams: this include must not be found.
#include "mainwindow/frm_main.h"
