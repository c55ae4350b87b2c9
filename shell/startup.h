#pragma once
// The start procedure.

class QApplication;

namespace varnex {

/// Main: the agreement window while its marker is missing, then the main window; runs the event
/// loop and returns the program's exit code.
int Main(QApplication& qapp);

}  // namespace varnex
