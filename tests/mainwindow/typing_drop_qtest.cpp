// The main window as a desktop user drives it, offscreen: values typed into grid cells in place,
// Return in the entry boxes, files dropped on the window (by synthesised drop events), and the
// status notes about refused and rounded orders.
#include <QApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QStatusBar>
#include <QTableView>
#include <QtTest>

#include "core/order_notes.h"
#include "mainwindow/frm_main.h"
#include "mainwindow/input_gate.h"
#include "shell/help_window.h"
#include "support/window.h"

using namespace varnex;

namespace {

struct Window : test::Window {
    Window() { w.show(); }
    QLineEdit* box(const char* name) { return get<QLineEdit>(name); }
    // Types into an entry box and presses Return there.
    void type_in(const char* name, const QString& text) {
        box(name)->setText(text);
        QTest::keyClick(box(name), Qt::Key_Return);
    }
    std::string cell(int row, int col) { return w.app().grid.text(row, col); }
    // Makes grid cell (row, col) current; the view's cells start at the grid's (1, 1).
    void go(int row, int col) { grid->setCurrentIndex(grid->model()->index(row - 1, col - 1)); }
    bool editing() const { return grid->indexWidget(grid->currentIndex()) != nullptr; }
    // Types into the open editor and ends with `key`; the typed value is entered once the editor closed.
    void type_and(const QString& text, Qt::Key key) {
        QWidget* editor = grid->indexWidget(grid->currentIndex());
        QVERIFY(editor && editor->objectName() == "cellEditor");
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, key);
        QCoreApplication::processEvents();
    }
    // A drag that enters `target` and drops the urls on it; true when the drag was accepted.
    bool drop(QWidget* target, const QList<QUrl>& urls) {
        QMimeData mime;
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        QCoreApplication::processEvents();
        return enter.isAccepted() && drop.isAccepted();
    }
};

}  // namespace

class TypingDropTest : public QObject {
    Q_OBJECT
  private slots:

    void returnInTheEntryBoxesPressesTheirAcceptButtons() {
        Window t;
        t.type_in("txtN", "2");
        QCOMPARE(t.w.app().st.N, int16_t{2});
        t.box("txtIndex(1)")->setText("2");
        t.type_in("txtA", "2.50");
        QCOMPARE(t.cell(1, 3), std::string("2.50"));
        t.type_in("txtB", "-4");
        QCOMPARE(t.cell(1, 5), std::string("-4"));
        t.type_in("txtB", "four");
        QCOMPARE(t.cell(1, 5), std::string("-4"));
        QCOMPARE(t.boxes.shown, std::vector<std::string>{t.w.app().st.msg.MsgBadNumber});
    }

    void cellsAreTypedIntoInPlace() {
        Window t;
        t.type_in("txtN", "2");
        // Typing over the current cell: the placeholder a(1,1) goes, Return enters and moves down.
        t.grid->setFocus();
        t.go(1, 1);
        QTest::keyClick(t.grid, Qt::Key_3);
        QVERIFY(t.editing());
        t.type_and("e2", Qt::Key_Return);
        QCOMPARE(t.cell(1, 1), std::string("3e2"));
        QCOMPARE(t.grid->currentIndex().row(), 1);
        QVERIFY(!t.editing());
        // F2 on a value starts from it; Tab enters and moves right over the operator to a(2,2).
        t.go(1, 1);
        QTest::keyClick(t.grid, Qt::Key_F2);
        QVERIFY(t.editing());
        QCOMPARE(qobject_cast<QLineEdit*>(t.grid->indexWidget(t.grid->currentIndex()))->text(), QStringLiteral("3e2"));
        t.type_and("1", Qt::Key_Tab);  // the whole text was selected: 1 replaces it
        QCOMPARE(t.cell(1, 1), std::string("1"));
        QCOMPARE(t.grid->currentIndex().column() + 1, 3);
        // Double-click on b(2), a value; Escape leaves the cell as it was.
        t.go(2, 5);
        const QRect b2 = t.grid->visualRect(t.grid->currentIndex());
        QTest::mouseClick(t.grid->viewport(), Qt::LeftButton, {}, b2.center());
        QTest::mouseDClick(t.grid->viewport(), Qt::LeftButton, {}, b2.center());
        QVERIFY(t.editing());
        t.type_and("9", Qt::Key_Escape);
        QCOMPARE(t.cell(2, 5), std::string("b(2)"));
        QVERIFY(t.boxes.shown.empty());
    }

    // The menu's keys keep working inside a cell being edited (Ctrl+C is Connect there too), and F1
    // opens the user guide.
    void menuKeysInTheCellEditorAndF1() {
        Window t;
        test::FakeDialog& cd = t.cd;
        QVERIFY(QTest::qWaitForWindowActive(&t.w));
        t.type_in("txtN", "2");
        t.go(1, 1);
        QTest::keyClick(t.grid, Qt::Key_F2);
        QWidget* editor = t.grid->indexWidget(t.grid->currentIndex());
        QVERIFY(editor);
        cd.next.push_back(std::nullopt);  // the dialog is cancelled
        QTest::keyClick(editor, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(cd.opens, 1);
        QTest::keyClick(&t.w, Qt::Key_F1);
        QVERIFY(help_window() && help_window()->windowTitle() == QStringLiteral("User Guide"));
        close_help_window();
    }

    // A value left in an open editor goes in before the next command, here "Find  solution".
    void anOpenEditorEntersItsValueBeforeTheNextCommand() {
        Window t;
        t.type_in("txtN", "1");
        t.type_in("txtB", "4");
        t.go(1, 1);
        QTest::keyClick(t.grid, Qt::Key_2);
        QVERIFY(t.editing());
        QTest::mouseClick(t.w.findChild<QWidget*>("cmdSolution"), Qt::LeftButton);
        QCoreApplication::processEvents();
        QVERIFY(!t.editing());
        QCOMPARE(t.cell(1, 1), std::string("2"));
        QCOMPARE(t.cell(1, 5), std::string("2"));  // x(1) = 4 / 2
        QVERIFY(t.boxes.shown.empty());
    }

    void aBadValueLeavesTheCellAndReadOnlyCellsOpenNoEditor() {
        Window t;
        t.type_in("txtN", "2");
        t.grid->setFocus();
        t.go(2, 3);
        QTest::keyClick(t.grid, Qt::Key_F2);
        t.type_and("1,5,", Qt::Key_Return);
        QCOMPARE(t.cell(2, 3), std::string("a(2,2)"));
        QCOMPARE(t.boxes.shown, std::vector<std::string>{t.w.app().st.msg.MsgBadNumber});
        // Operators and the approximation x(i) take no value, whichever way an edit is asked for.
        for (int col : {2, 4, 7}) {
            t.go(1, col);
            QTest::keyClick(t.grid, Qt::Key_F2);
            QTest::keyClick(t.grid, Qt::Key_5);
            const QPoint at = t.grid->visualRect(t.grid->currentIndex()).center();
            QTest::mouseClick(t.grid->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(t.grid->viewport(), Qt::LeftButton, {}, at);
            QVERIFY2(!t.editing(), qPrintable(QString::number(col)));
        }
        QCOMPARE(t.cell(1, 7), std::string("0"));
        QCOMPARE(t.boxes.shown.size(), std::size_t{1});
    }

    void droppedFilesOpenImportOrSayWhy() {
        Window t;
        const std::string data = t.dir.path() + "/data/";
        auto url = [](const std::string& path) { return QUrl::fromLocalFile(QString::fromStdString(path)); };
        const std::string txt = t.dir.write("data/two.txt", "2 1 3\r\n1 3 5\r\n");
        QVERIFY(t.drop(&t.w, {url(txt)}));
        QCOMPARE(t.w.app().st.N, int16_t{2});
        QCOMPARE(t.w.windowTitle(), QStringLiteral("VARNEX SOLVER"));
        // Dropped on a text box, a file is still opened or imported rather than pasted as a path.
        const std::string csv = t.dir.write("data/three.csv", "1,0,0,1\n0,1,0,1\n0,0,1,1\n");
        QVERIFY(t.drop(t.box("txtA"), {url(csv)}));
        QCOMPARE(t.w.app().st.N, int16_t{3});
        QVERIFY(t.box("txtA")->text().isEmpty());
        const std::string mtx =
            t.dir.write("data/one.mtx", "%%MatrixMarket matrix coordinate real general\n1 1 1\n1 1 4\n");
        QVERIFY(t.drop(t.grid->viewport(), {url(mtx)}));
        QCOMPARE(t.w.app().st.N, int16_t{1});
        QVERIFY(t.boxes.shown.empty());

        // A picture, a folder, two files: one message each, and the system stays.
        const std::string png = t.dir.write("data/p.png", std::string("\x89PNG\0\0", 6));
        for (const QList<QUrl>& urls : {QList<QUrl>{url(png)}, {url(data)}, {url(txt), url(csv)}})
            QVERIFY(t.drop(&t.w, urls));
        QCOMPARE(t.boxes.shown.size(), std::size_t{3});
        QCOMPARE(t.w.app().st.N, int16_t{1});

        // While a command holds the window, a drag is refused and nothing happens.
        auto* gate = t.w.findChild<InputGate*>();
        gate->hold(false);
        QVERIFY(!t.drop(&t.w, {url(txt)}));
        gate->release();
        QCoreApplication::processEvents();
        QCOMPARE(t.w.app().st.N, int16_t{1});
    }

    void orderNotesComeAndGoWithTheOrders() {
        Window t;
        t.type_in("txtN", "16382");
        QVERIFY(t.status().contains(kOrderLimitText));
        QCOMPARE(t.boxes.shown, std::vector<std::string>{t.w.app().st.msg.MsgBadNumber});
        t.type_in("txtN", "abc");  // refused for another reason: the old note goes
        QVERIFY(t.status().isEmpty());
        t.type_in("txtN", "2.5");
        QCOMPARE(t.status(), QStringLiteral("N = 2.5 was rounded to order 2"));
        t.box("txtIndex(0)")->setText("1");
        t.type_in("txtA", "1");  // a command that sets no system up keeps the note
        QCOMPARE(t.status(), QStringLiteral("N = 2.5 was rounded to order 2"));
        t.type_in("txtN", "3");
        QVERIFY(t.status().isEmpty());
    }
};

QTEST_MAIN(TypingDropTest)
#include "typing_drop_qtest.moc"
