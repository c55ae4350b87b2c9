// Provisional start: straight to the main window until the agreement step joins.
#include "shell/startup.h"

#include <QApplication>

namespace varnex {
int Main(QApplication& qapp) { return qapp.exec(); }
}  // namespace varnex
