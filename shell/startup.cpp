// The start procedure: the agreement while its marker is missing, then the main window, then the
// program runs on the events of its windows.
#include "shell/startup.h"

#include <QApplication>

#include "mainwindow/frm_main.h"
#include "mainwindow/qt_seams.h"
#include "shell/agreement_window.h"
#include "shell/menus.h"

namespace varnex {

int Main(QApplication& qapp) {
    const QString folder = QCoreApplication::applicationDirPath();

    if (!agreement_marker_exists(folder)) {
        bool end_now = false;
        QtMessageBoxes boxes(nullptr);
        FrmAgreement agreement(folder, boxes, [&end_now] { end_now = true; });
        agreement.exec();
        // "I do not agree" ends the program here: no marker, and the main window never opens.
        // "I agree" and a window closed through its frame both go on to the main window.
        if (end_now) return 0;
    }

    // The constructor runs the main window's load handler before the window is first shown.
    FrmMain main_window(folder);
    build_menus(main_window);
    main_window.show();
    // The program ends with Exit or when its last window has closed; the help window may be the last.
    return qapp.exec();
}

}  // namespace varnex
