#include <QApplication>
#include <QDir>
#include <QIcon>

#include "core/fp_env.h"
#include "core/reference.h"
#include "shell/startup.h"

int main(int argc, char** argv) {
    // The exact arithmetic needs denormal results; a process started with flush-to-zero would give
    // other bits, so the mode is switched off before anything is computed.
    varnex::keep_denormals();
    // OpenBLAS's pool would spin on one of the processors for its first 0.1 s.
    varnex::single_threaded_blas();
    QApplication qapp(argc, argv);
    // Every window shows the program's icon: the sizes the build renders from packaging/varnex.svg.
    // The desktop file name lets the desktop match the windows to the installed entry.
    QIcon icon;
    for (const QFileInfo& png : QDir(":/icons").entryInfoList({"*x*"}, QDir::Dirs))
        icon.addFile(png.filePath() + "/varnex.png");
    qapp.setWindowIcon(icon);
    QGuiApplication::setDesktopFileName("varnex");
    return varnex::Main(qapp);
}
