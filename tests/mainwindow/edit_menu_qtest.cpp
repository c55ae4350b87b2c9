// Import and the Edit menu through the real main window, offscreen: the menu bar's order and keys,
// Ctrl+I, a selected block copied and pasted through the clipboard, and the keys that stay as they were.
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>
#include <QTableView>
#include <QtTest>
#include <filesystem>

#include "mainwindow/frm_main.h"
#include "support/window.h"

using namespace varnex;

class EditMenuTest : public QObject {
    Q_OBJECT
  private slots:

    void menuBarOrderAndKeys() {
        test::Window win;
        FrmMain& w = win.w;
        const QList<QAction*> top = w.menuBar()->actions();
        QVERIFY(top.size() >= 3);
        QCOMPARE(top[0]->text(), QStringLiteral("&File"));
        QCOMPARE(top[1]->text(), QStringLiteral("&Edit"));
        QCOMPARE(top.back()->text(), QStringLiteral("&Help"));
        // Every key of the menus as before, and the new entries beside them.
        const char* keys[][3] = {
            {"Open", "Ctrl+O", ""},          {"Save", "Ctrl+R", ""},   {"Connect", "Ctrl+C", ""},
            {"Exit", "Ctrl+E", ""},          {"About", "Ctrl+A", ""},  {"UserGuide", "Ctrl+U", "F1"},
            {"GetPaid", "Ctrl+G", ""},       {"Import", "Ctrl+I", ""}, {"Copy", "Ctrl+Ins", "Ctrl+Shift+C"},
            {"Paste", "Ctrl+V", "Shift+Ins"}};
        for (auto& k : keys) {
            QAction* a = w.findChild<QAction*>(QString::fromLatin1(k[0]));
            QVERIFY2(a, k[0]);
            QList<QKeySequence> want{QKeySequence(QString::fromLatin1(k[1]))};
            if (*k[2]) want << QKeySequence(QString::fromLatin1(k[2]));
            QVERIFY2(a->shortcuts() == want, k[0]);
        }
        QCOMPARE(w.findChild<QAction*>("Import")->text(), QString::fromUtf8("&Import…"));
        QCOMPARE(w.findChild<QAction*>("ExportSolution")->text(), QString::fromUtf8("E&xport solution…"));
    }

    void importedBlockCopiesAndPastesThroughTheClipboard() {
        test::Window win;
        FrmMain& w = win.w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        auto* view = w.findChild<QTableView*>("msfgData");
        auto* status = w.findChild<QStatusBar*>("staStatus");
        QAbstractItemModel* model = view->model();
        auto cell = [model](int r, int c) { return model->data(model->index(r - 1, c - 1)).toString(); };

        win.cd.next.push_back(
            win.dir.write("data/m.mtx", "%%MatrixMarket matrix array real general\n3 3\n1\n2\n3\n4\n5\n6\n7\n8\n9\n"));
        QTest::keyClick(&w, Qt::Key_I, Qt::ControlModifier);
        QCOMPARE(w.app().st.N, int16_t{3});
        QCOMPARE(cell(2, 3), QStringLiteral("5"));
        QCOMPARE(status->currentMessage(), QString::fromUtf8("no right-hand side found: b = A·1, so x = 1 solves it"));

        // Rows 1-2, a(i,1) .. a(i,2): grid columns 1..3, view columns 0..2.
        view->setFocus();
        view->selectionModel()->select(QItemSelection(model->index(0, 0), model->index(1, 2)),
                                       QItemSelectionModel::ClearAndSelect);
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("1\t4\n2\t5"));
        // Ctrl+C over the grid stays Connect: it shows the dialog and copies nothing.
        QGuiApplication::clipboard()->setText(QStringLiteral("untouched"));
        const int opens = win.cd.opens;
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(win.cd.opens, opens + 1);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("untouched"));

        // A spreadsheet's block pasted at a(2,2) by Ctrl+V: b(i) takes the last values, x(i) none.
        QGuiApplication::clipboard()->setText(QStringLiteral("10\t11\t12\r\n13\t14\t15\r\n"));
        view->selectionModel()->clearSelection();
        view->setCurrentIndex(model->index(1, 2));
        view->selectionModel()->clearSelection();
        QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(cell(2, 3) + ' ' + cell(2, 5) + ' ' + cell(2, 7) + ' ' + cell(3, 3) + ' ' + cell(3, 7),
                 QStringLiteral("10 11 12 13 15"));
        QVERIFY(status->currentMessage().startsWith(QStringLiteral("pasted 6 values")));
        // The pasted block is selected: view rows 1-2, columns 2-6 (a(i,2) .. b(i)).
        const QModelIndexList sel = view->selectionModel()->selectedIndexes();
        QCOMPARE(sel.size(), 10);
        QVERIFY(view->selectionModel()->isSelected(model->index(2, 6)));
        QVERIFY(win.boxes.shown.empty());

        // In a text box Ctrl+V pastes into the box, not into the grid.
        auto* txtA = w.findChild<QLineEdit*>("txtA");
        txtA->setFocus();
        QGuiApplication::clipboard()->setText(QStringLiteral("2.5"));
        QTest::keyClick(txtA, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(txtA->text(), QStringLiteral("2.5"));
        QCOMPARE(cell(2, 3), QStringLiteral("10"));
    }
};

QTEST_MAIN(EditMenuTest)
#include "edit_menu_qtest.moc"
