// Open and Save through the real main window, offscreen: the File menu's keys and entries reach the
// commands, the grid view follows, and a saved solution comes back on the next Open.
#include <QAction>
#include <QTableView>
#include <QtTest>
#include <filesystem>

#include "mainwindow/frm_main.h"
#include "support/window.h"

using namespace varnex;

class FileMenuTest : public QObject {
    Q_OBJECT
  private slots:

    void keysAndEntriesDriveOpenAndSave() {
        test::Window win;
        FrmMain& w = win.w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        const std::string data = win.dir.path() + "/data/";
        // Cell (r, c) of the grid as the view shows it: the fixed row and column are its headers.
        QAbstractItemModel* view = w.findChild<QTableView*>("msfgData")->model();
        auto cell = [view](int r, int c) { return view->data(view->index(r - 1, c - 1)).toString(); };

        win.cd.next.push_back(data + "sample1.txt");
        QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(w.app().st.N, int16_t{4});
        QCOMPARE(view->rowCount(), 4);
        QCOMPARE(cell(1, 2), QStringLiteral("*x(1)+"));

        w.app().grid.set_text(2, 11, "0.125");
        win.cd.next.push_back(data + "copy.txt");
        QTest::keyClick(&w, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(test::read_file(data + "solutions/copy.txt"), std::string("0 0.125 0 0 \r\n"));
        win.open(data + "copy.txt");
        QCOMPARE(cell(2, 11), QStringLiteral("0.125"));
        QVERIFY(win.boxes.shown.empty());

        // Saving again over both files asks twice, once per file, through the window's Save entry.
        win.open(data + "copy.txt", "Save");
        QCOMPARE(win.boxes.shown.size(), std::size_t{2});
    }
};

QTEST_MAIN(FileMenuTest)
#include "file_menu_qtest.moc"
