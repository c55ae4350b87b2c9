// Open and Save through the real main window, offscreen: the File menu's keys and entries reach the
// commands, the grid view follows, and a saved solution comes back on the next Open. The dialog and
// the message boxes are answered through the App's seams.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>
#include <filesystem>

#include "mainwindow/frm_main.h"
#include "support/fakes.h"

using namespace varnex;

class FileMenuTest : public QObject {
    Q_OBJECT

  private:
    // The window on a fresh application folder (its load writes the samples into data), with the
    // dialog and the boxes replaced by fakes.
    struct Window {
        test::TempDir dir;
        test::FakeDialog cd;
        test::FakeBoxes box;
        FrmMain w{QString::fromStdString(dir.path())};
        Window() {
            w.app().cd = &cd;
            w.app().box = &box;
            w.show();
        }
        std::string data(const std::string& rel) const { return dir.path() + "/data/" + rel; }
        // Cell (r, c) of the grid as the view shows it: the fixed row and column are its headers.
        QString cell(int r, int c) const {
            QAbstractItemModel* m = w.findChild<QTableView*>("msfgData")->model();
            return m->data(m->index(r - 1, c - 1)).toString();
        }
        QString box_text(const char* name) const { return w.findChild<QLineEdit*>(name)->text(); }
    };
    std::filesystem::path cwd_;

  private slots:
    void init() { cwd_ = std::filesystem::current_path(); }
    void cleanup() { std::filesystem::current_path(cwd_); }

    void ctrlOOpensASampleIntoTheGridView() {
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        win.cd.next.push_back(win.data("sample1.txt"));
        QTest::keyClick(&win.w, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(win.cd.opens, 1);
        QVERIFY(win.box.shown.empty());
        QCOMPARE(win.w.app().st.N, int16_t{4});
        QCOMPARE(win.box_text("txtN"), QStringLiteral("4"));
        QCOMPARE(win.box_text("txtEps"), QStringLiteral("0.4"));
        QVERIFY(win.w.findChild<QPushButton*>("cmdSolution")->isEnabled());
        QCOMPARE(win.w.findChild<QTableView*>("msfgData")->model()->rowCount(), 4);
        QCOMPARE(win.cell(1, 2), QStringLiteral("*x(1)+"));
        QCOMPARE(win.cell(4, 9), QString::fromStdString(win.w.app().grid.text(4, 9)));
        QCOMPARE(win.cell(4, 11), QStringLiteral("0"));
    }

    void ctrlRSavesAndTheMenuEntryOpensTheSolutionBack() {
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        win.cd.next.push_back(win.data("sample1.txt"));
        win.w.findChild<QAction*>("Open")->trigger();
        win.w.app().grid.set_text(2, 11, "0.125");

        win.cd.next.push_back(win.data("copy.txt"));
        QTest::keyClick(&win.w, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(win.cd.saves, 1);
        QVERIFY(win.box.shown.empty());
        QCOMPARE(test::read_file(win.data("solutions/copy.txt")), std::string("0 0.125 0 0 \r\n"));

        win.cd.next.push_back(win.data("copy.txt"));
        win.w.findChild<QAction*>("Open")->trigger();
        QCOMPARE(win.cell(2, 11), QStringLiteral("0.125"));
        QCOMPARE(test::read_file(win.data("copy.txt")), test::read_file(win.data("sample1.txt")));

        // Saving again over both files asks twice, once per file, through the window's Save entry.
        win.cd.next.push_back(win.data("copy.txt"));
        win.w.findChild<QAction*>("Save")->trigger();
        QCOMPARE(win.box.shown.size(), std::size_t{2});
    }
};

QTEST_MAIN(FileMenuTest)
#include "file_menu_qtest.moc"
