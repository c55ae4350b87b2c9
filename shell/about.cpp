#include "shell/about.h"

#include <QCoreApplication>

#include "shell/help_window.h"

namespace varnex {

void About_Click(App& app) {
    app.box->message(
        "VARNEX SOLVER, version 1.0\n"
        "Solves a system of N linear equations A*x = b in single precision by Gaussian elimination "
        "and column relaxation.");
}

void Exit_Click() {
    close_help_window();
    // Leaves every running event loop, so the start procedure returns at once.
    QCoreApplication::exit(0);
}

}  // namespace varnex
