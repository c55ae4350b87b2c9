#pragma once
// The real main window for the Qt tests, on a fresh application folder (or one given), its message
// boxes and file dialogs answered by fakes. The working directory goes back when the window goes.
#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QtTest>
#include <string>

#include "mainwindow/frm_main.h"
#include "shell/menus.h"
#include "support/fakes.h"

namespace varnex::test {

/// Shows the widget; true once it is on the screen.
inline bool shown(QWidget& w) {
    w.show();
    return QTest::qWaitForWindowExposed(&w);
}

struct Window {
    CwdGuard cwd;
    TempDir dir;
    FakeBoxes boxes;
    FakeDialog cd;
    FrmMain w{QString::fromStdString(dir.path())};
    QTableView* grid = w.findChild<QTableView*>("msfgData");

    Window() { answer_with_fakes(); }
    /// The window on the application folder `app_folder` instead of a fresh one.
    explicit Window(const std::string& app_folder) : w(QString::fromStdString(app_folder)) { answer_with_fakes(); }
    void answer_with_fakes() {
        build_menus(w);
        w.app().box = &boxes;
        w.app().cd = &cd;
    }
    template <class T = QWidget>
    T* get(const char* name) const {
        return w.findChild<T*>(QString::fromLatin1(name));
    }
    void click(const char* button) { QTest::mouseClick(get(button), Qt::LeftButton); }
    void trigger(const char* action) { get<QAction>(action)->trigger(); }
    /// Runs the menu entry `action` (Open, Connect, Import, Save, ...), its file dialog confirming `path`.
    void open(const std::string& path, const char* action = "Open") {
        cd.next.push_back(path);
        trigger(action);
    }
    /// Types the text into box txt<x> and presses its button cmd<x>.
    void enter(const QString& x, const QString& text) {
        auto* box = w.findChild<QLineEdit*>("txt" + x);
        box->clear();
        QTest::keyClicks(box, text);
        QTest::mouseClick(w.findChild<QPushButton*>("cmd" + x), Qt::LeftButton);
    }
    QString status() const { return w.statusBar()->currentMessage(); }
    bool show() { return shown(w); }
};

}  // namespace varnex::test
