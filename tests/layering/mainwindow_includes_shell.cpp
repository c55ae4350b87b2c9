// mainwindow/ does not know the shell that builds its menus: this include must not be found.
#include "shell/menus.h"
