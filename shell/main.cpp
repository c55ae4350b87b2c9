#include <QApplication>

#include "core/fp_env.h"
#include "shell/startup.h"

int main(int argc, char** argv) {
    // The exact arithmetic needs denormal results; a process started with flush-to-zero would give
    // other bits, so the mode is switched off before anything is computed.
    varnex::keep_denormals();
    QApplication qapp(argc, argv);
    return varnex::Main(qapp);
}
