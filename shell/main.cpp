#include <QApplication>

#include "shell/startup.h"

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    return varnex::Main(qapp);
}
