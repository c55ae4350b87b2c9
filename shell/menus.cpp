#include "shell/menus.h"

#include <QAction>
#include <QMenuBar>
#include <QTableView>

#include "commands/connect_command.h"
#include "commands/import_command.h"
#include "commands/open_command.h"
#include "commands/save_command.h"
#include "mainwindow/frm_main.h"
#include "mainwindow/guarded.h"
#include "mainwindow/picture_windows.h"
#include "shell/about.h"
#include "shell/help_window.h"

namespace varnex {

namespace {

struct Entry {
    const char* name;
    const char* caption;
    QKeySequence key;
};

QMenu* add_menu(FrmMain& w, const char* name, const char* caption) {
    QMenu* menu = w.menuBar()->addMenu(QString::fromUtf8(caption));
    menu->setObjectName(QString::fromLatin1(name));
    menu->menuAction()->setObjectName(QString::fromLatin1(name));
    return menu;
}

// One entry whose shortcut acts anywhere in the window, and the guarded slot it runs.
template <class Slot>
QAction* add(FrmMain& w, QMenu* menu, const Entry& e, Slot&& slot) {
    QAction* a = menu->addAction(QString::fromUtf8(e.caption));
    a->setObjectName(QString::fromLatin1(e.name));
    a->setShortcut(e.key);
    w.add_shortcut(a);
    QObject::connect(a, &QAction::triggered, &w, guard(std::forward<Slot>(slot)));
    return a;
}

void build_file_menu(FrmMain& w) {
    using Source = FrmMain::SystemSource;
    QMenu* file = add_menu(w, "File", "&File");
    add(w, file, {"Open", "&Open", QKeySequence(Qt::CTRL | Qt::Key_O)},
        [&w] { w.file_command(DialogPurpose::Open, Open_Click, Source::File); });
    add(w, file, {"Save", "&Save", QKeySequence(Qt::CTRL | Qt::Key_R)},
        [&w] { w.file_command(DialogPurpose::Save, Save_Click, Source::Save); });
    add(w, file, {"Connect", "&Connect", QKeySequence(Qt::CTRL | Qt::Key_C)},
        [&w] { w.file_command(DialogPurpose::Connect, Connect_Click, Source::File); });
    add(w, file, {"Import", "&Import\u2026", QKeySequence(Qt::CTRL | Qt::Key_I)},
        [&w] { w.file_command(DialogPurpose::Import, Import_Click, Source::File); });
    add(w, file, {"ExportSolution", "E&xport solution\u2026", QKeySequence()}, [&w] { w.export_solution(); });
    add(w, file, {"ExportAccurate", "Export &accurate solution\u2026", QKeySequence()}, [&w] { w.export_accurate(); });
    file->addSeparator()->setObjectName(QStringLiteral("Separator"));
    // The window's command path cancels the accuracy report's worker before Exit ends the program.
    add(w, file, {"Exit", "&Exit", QKeySequence(Qt::CTRL | Qt::Key_E)}, [&w] { w.plain_command([](App&) { Exit_Click(); }); });
}

void build_edit_menu(FrmMain& w) {
    QMenu* edit = add_menu(w, "Edit", "&Edit");
    // Ctrl+C stays Connect, so Copy takes Ctrl+Insert and Ctrl+Shift+C. The keys act while the grid
    // has the focus; in a text box Ctrl+V and Shift+Insert keep pasting into the box.
    auto grid_entry = [&](const char* name, const char* caption, QList<QKeySequence> keys, auto slot) {
        QAction* a = edit->addAction(QString::fromLatin1(caption));
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcuts(keys);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        w.gridView()->addAction(a);
        QObject::connect(a, &QAction::triggered, &w, guard(slot));
    };
    grid_entry("Copy", "&Copy", {QKeySequence(Qt::CTRL | Qt::Key_Insert), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)},
               [&w] { w.copy_selection(); });
    grid_entry("Paste", "&Paste", {QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)},
               [&w] { w.paste_clipboard(); });
}

void build_view_menu(FrmMain& w) {
    QMenu* view = add_menu(w, "View", "&View");
    add(w, view, {"Convergence", "&Convergence", QKeySequence(Qt::CTRL | Qt::Key_K)},
        [&w] { w.show_convergence_window(); });
    add(w, view, {"Accuracy", "&Accuracy", QKeySequence(Qt::CTRL | Qt::Key_J)}, [&w] { w.show_accuracy_window(); });
    add(w, view, {"Matrix", "&Matrix", QKeySequence(Qt::CTRL | Qt::Key_M)}, [&w] { w.pictures()->show_matrix(); });
    add(w, view, {"Solution", "&Solution", QKeySequence()}, [&w] { w.pictures()->show_solution(); });
}

void build_help_menu(FrmMain& w) {
    QMenu* help = add_menu(w, "Help", "&Help");
    add(w, help, {"About", "&About", QKeySequence(Qt::CTRL | Qt::Key_A)},
        [&w] { w.plain_command([](App& app) { About_Click(app); }); });
    QAction* guide = add(w, help, {"UserGuide", "&User Guide", QKeySequence(Qt::CTRL | Qt::Key_U)},
                         [&w] { w.plain_command([&w](App&) { UserGuide_Click(w.appFolder()); }); });
    guide->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_U), QKeySequence(Qt::Key_F1)});
    add(w, help, {"GetPaid", "&Get Paid", QKeySequence(Qt::CTRL | Qt::Key_G)},
        [&w] { w.plain_command([](App&) { GetPaid_Click(); }); });
}

}  // namespace

void build_menus(FrmMain& w) {
    build_file_menu(w);
    build_edit_menu(w);
    build_view_menu(w);
    build_help_menu(w);
    w.resize(w.sizeHint());
}

}  // namespace varnex
