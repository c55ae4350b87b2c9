// The main window as a desktop user drives it and reads it, offscreen: a system typed and solved,
// values typed into grid cells in place, Return in the entry boxes, files dropped on the window (by
// synthesised drop events), the status notes about refused and rounded orders; the designed layout,
// the grid taking the room of a larger window, columns that show every number whole, equation numbers
// and "Go to x(i)".
#include <QApplication>
#include <QMimeData>
#include <QtTest>
#include <map>

#include "core/convert.h"
#include "core/order_notes.h"
#include "mainwindow/input_gate.h"
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
    // Clicks the current cell, then double-clicks it, as a person asks to edit it.
    void double_click() {
        const QPoint at = grid->visualRect(grid->currentIndex()).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
    }
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

// Where every named control of the client area stands, by name; the grid's own parts are left out.
using Layout = std::map<QString, QRect>;

Layout layout_of(QWidget* client) {
    Layout l;
    QWidget* grid = client->findChild<QWidget*>("msfgData");
    for (QWidget* w : client->findChildren<QWidget*>())
        if (!w->objectName().isEmpty() && !grid->isAncestorOf(w))
            l[w->objectName()] = QRect(w->mapTo(client, QPoint(0, 0)), w->size());
    return l;
}

// The layout `was` with the grid dw wider and dh taller and every other control moved down by dh.
// Returns the first control that is elsewhere, or an empty text.
QString misplaced(QWidget* client, const Layout& was, int dw, int dh) {
    for (const auto& [name, got] : layout_of(client)) {
        const auto it = was.find(name);
        if (it == was.end()) continue;
        const QRect want =
            name == QStringLiteral("msfgData") ? it->second.adjusted(0, 0, dw, dh) : it->second.translated(0, dh);
        if (got != want) {
            QString where;
            QDebug(&where) << name << got;
            return where;
        }
    }
    return {};
}

}  // namespace

class TypingDropTest : public QObject {
    Q_OBJECT
  private slots:

    // A system typed through the entry boxes and the arrows, solved: x = (0.8, 1.4). A note about a
    // refused or rounded order stays until another command that sets a system up ends without a note
    // of its own.
    void typedSystemIsSolvedAndOrderNotesFollow() {
        Window t;
        t.type_in("txtN", "2");
        // a(1,1) = 2 with both selectors at 1, then a(1,2), a(2,2), a(2,1) by the arrows; then b(1), b(2).
        // Some go in by the button, the others by Return in the box.
        for (auto [arrow, x, value, by_return] : {std::tuple{"", "A", "2", false},
                                                  {"cmdUp(1)", "A", "1", true},
                                                  {"cmdUp(0)", "A", "3", false},
                                                  {"cmdDown(1)", "A", "1", false},
                                                  {"", "B", "3", true},
                                                  {"cmdUp(2)", "B", "5", false}}) {
            if (*arrow) t.click(arrow);
            if (by_return)
                t.type_in(qPrintable(QStringLiteral("txt") + x), value);
            else
                t.enter(x, value);
        }
        t.click("cmdSolution");
        QVERIFY(qAbs(text_to_single(t.cell(1, 7)) - 0.8f) < 1e-5f && qAbs(text_to_single(t.cell(2, 7)) - 1.4f) < 1e-5f);

        t.type_in("txtN", "16382");
        QVERIFY(t.status().contains(kOrderLimitText));
        t.type_in("txtN", "abc");  // refused for another reason: the old note goes
        QVERIFY(t.status().isEmpty());
        QCOMPARE(t.boxes.shown, std::vector<std::string>(2, t.w.app().st.msg.MsgBadNumber));
        t.type_in("txtN", "2.5");
        t.type_in("txtA", "1");  // a command that sets no system up keeps the note
        QCOMPARE(t.status(), QStringLiteral("N = 2.5 was rounded to order 2"));
        t.type_in("txtN", "3");
        QVERIFY(t.status().isEmpty());
    }

    void cellsAreTypedIntoInPlaceAndReadOnlyCellsRefused() {
        Window t;
        t.type_in("txtN", "2");
        // Typing over the current cell: the placeholder a(1,1) goes, Return enters and moves down.
        t.grid->setFocus();
        t.go(1, 1);
        QTest::keyClick(t.grid, Qt::Key_3);
        t.type_and("e2", Qt::Key_Return);
        QCOMPARE(t.cell(1, 1), std::string("3e2"));
        QCOMPARE(t.grid->currentIndex().row(), 1);
        QVERIFY(!t.editing());
        // F2 on a value starts from it; Tab enters and moves right over the operator to a(1,2).
        t.go(1, 1);
        QTest::keyClick(t.grid, Qt::Key_F2);
        QCOMPARE(qobject_cast<QLineEdit*>(t.grid->indexWidget(t.grid->currentIndex()))->text(), QStringLiteral("3e2"));
        t.type_and("1", Qt::Key_Tab);  // the whole text was selected: 1 replaces it
        QCOMPARE(t.cell(1, 1), std::string("1"));
        QCOMPARE(t.grid->currentIndex().column() + 1, 3);
        // Double-click on b(2); Escape leaves the cell as it was.
        t.go(2, 5);
        t.double_click();
        t.type_and("9", Qt::Key_Escape);
        QCOMPARE(t.cell(2, 5), std::string("b(2)"));
        // The approximation x(i) takes no value, whichever way an edit is asked for.
        t.go(1, 7);
        QTest::keyClick(t.grid, Qt::Key_F2);
        QTest::keyClick(t.grid, Qt::Key_5);
        t.double_click();
        QVERIFY(!t.editing());
        QVERIFY(t.boxes.shown.empty());
        // The menu's keys work in the editor: Ctrl+C is Connect there too (its dialog cancelled).
        t.go(1, 1);
        QTest::keyClick(t.grid, Qt::Key_F2);
        t.cd.next.push_back(std::nullopt);
        QTest::keyClick(t.grid->indexWidget(t.grid->currentIndex()), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(t.cd.opens, 1);
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
    }

    void droppedFilesOpenImportOrSayWhy() {
        Window t;
        auto url = [](const std::string& path) { return QUrl::fromLocalFile(QString::fromStdString(path)); };
        const std::string txt = t.dir.write("data/two.txt", "2 1 3\r\n1 3 5\r\n");
        QVERIFY(t.drop(t.grid->viewport(), {url(txt)}));
        QCOMPARE(t.w.app().st.N, int16_t{2});
        // Dropped on a text box, a file is still opened or imported rather than pasted as a path.
        const std::string csv = t.dir.write("data/three.csv", "1,0,0,1\n0,1,0,1\n0,0,1,1\n");
        QVERIFY(t.drop(t.box("txtA"), {url(csv)}));
        QCOMPARE(t.w.app().st.N, int16_t{3});
        QVERIFY(t.box("txtA")->text().isEmpty());
        // Two files: a message, and the system stays.
        QVERIFY(t.drop(&t.w, {url(txt), url(csv)}));
        QCOMPARE(t.boxes.shown.size(), std::size_t{1});
        QCOMPARE(t.w.app().st.N, int16_t{3});

        // While a command holds the window, a drag is refused and nothing happens.
        auto* gate = t.w.findChild<InputGate*>();
        gate->hold(false);
        QVERIFY(!t.drop(&t.w, {url(txt)}));
        gate->release();
        QCoreApplication::processEvents();
        QCOMPARE(t.w.app().st.N, int16_t{3});
    }

    void designedLayoutHoldsAndControlsFollowTheGridsLowerEdge() {
        Window win;
        QWidget* client = win.get("client");
        QCOMPARE(client->size(), QSize(693, 390));
        QCOMPARE(win.grid->geometry(), QRect(240 / 15, 360 / 15, 9975 / 15, 2535 / 15));  // twips as designed
        const Layout designed = layout_of(client);
        QVERIFY(designed.count("txtEr") && designed.count("Line1") && designed.count("cmdUp(2)"));

        win.w.resize(win.w.width() + 300, win.w.height() + 200);
        QTRY_COMPARE(client->size(), QSize(993, 590));
        QCOMPARE(misplaced(client, designed, 300, 200), QString());

        // Never smaller than designed; back at the designed size, the designed layout again.
        win.w.resize(100, 100);
        QTRY_COMPARE(client->size(), QSize(693, 390));
        QCOMPARE(misplaced(client, designed, 0, 0), QString());
    }

    // Columns as wide as the widest texts of the number-to-text conversion, rows numbered, and "Go to
    // x(i)" within 1 .. N.
    void gridShowsNumbersWholeNumbersItsRowsAndGoesToXi() {
        Window win;
        QAbstractItemModel* model = win.grid->model();
        QCOMPARE(model->headerData(0, Qt::Vertical).toString(), QString());  // the designed empty grid
        win.type_in("txtN", "300");
        QCOMPARE(model->headerData(299, Qt::Vertical).toString(), QStringLiteral("300"));
        const char* widest[] = {"-8.888888E+38", "-1.234568E+07", "-0.0001234568", "-4.444444E-38"};
        for (int c = 0; c < 4; ++c) win.w.app().grid.set_text(1, c + 1, widest[c]);
        for (int c = 0; c < 4; ++c)
            QVERIFY2(win.grid->columnWidth(c) >= static_cast<QAbstractItemView*>(win.grid)->sizeHintForColumn(c),
                     widest[c]);

        auto* go = win.w.findChild<QLineEdit*>("txtGoTo");
        const QModelIndex x150 = model->index(149, model->columnCount() - 1);  // x(150)
        for (const char* row : {"150", "0", "301"}) {
            go->setText(row);
            QTest::keyClick(go, Qt::Key_Return);
            QCOMPARE(win.grid->currentIndex(), x150);
            QVERIFY(win.grid->viewport()->rect().intersects(win.grid->visualRect(x150)));
            QVERIFY(row[0] != '1' || win.w.focusWidget() == win.grid);  // the grid takes the keys from there
        }
        QCOMPARE(win.boxes.shown.size(), std::size_t{2});
        QCOMPARE(win.boxes.shown[1], std::string(" Sorry, there is no x(301) in the grid."));
    }
};

QTEST_MAIN(TypingDropTest)
#include "typing_drop_qtest.moc"
