// The real main window, offscreen: its controls, their first states, the menu's shortcuts, the
// message boxes, and a system typed in and solved as a user would.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>
#include <filesystem>

#include "core/convert.h"
#include "mainwindow/frm_main.h"
#include "mainwindow/grid_table_model.h"
#include "mainwindow/qt_seams.h"
#include "support/fakes.h"

using namespace varnex;

class FrmMainTest : public QObject {
    Q_OBJECT

  private:
    template <class W>
    static W* get(QWidget& w, const char* name) {
        W* found = w.findChild<W*>(QString::fromLatin1(name));
        if (!found) qWarning("missing control %s", name);
        return found;
    }
    static void click(QWidget& w, const char* name) {
        QPushButton* b = get<QPushButton>(w, name);
        QVERIFY(b && b->isEnabled());
        QTest::mouseClick(b, Qt::LeftButton);
    }
    static void type(QWidget& w, const char* name, const QString& text) {
        QLineEdit* e = get<QLineEdit>(w, name);
        QVERIFY(e);
        e->clear();
        QTest::keyClicks(e, text);
    }

  private slots:
    void controlsCarryTheirNamesCaptionsAndPlaces() {
        test::TempDir dir;
        FrmMain w(QString::fromStdString(dir.path()));
        QCOMPARE(w.objectName(), QStringLiteral("frmMain"));
        QCOMPARE(w.windowTitle(), QStringLiteral("VARNEX SOLVER"));
        QVERIFY(get<QTableView>(w, "msfgData"));
        const char* labels[][2] = {{"lblN", "N="},
                                   {"lblA", "A ("},
                                   {"lblA1", ","},
                                   {"lblA2", ") ="},
                                   {"lblB", "B ("},
                                   {"lblB1", ") ="},
                                   {"lblEps", "Desired accuracy"},
                                   {"lblTime", "Duration of the  last operation"},
                                   {"lblEr", "Current accuracy"}};
        for (auto& l : labels) {
            QLabel* lbl = get<QLabel>(w, l[0]);
            QVERIFY(lbl);
            QCOMPARE(lbl->text(), QString::fromLatin1(l[1]));
        }
        QVERIFY(get<QLabel>(w, "lblN")->font().bold());
        QVERIFY(!get<QLabel>(w, "lblEps")->font().bold());
        QCOMPARE(get<QPushButton>(w, "cmdSolution")->text(), QStringLiteral("Find  solution"));
        QCOMPARE(get<QPushButton>(w, "cmdIter")->text(), QStringLiteral("Next Iteration"));
        QCOMPARE(get<QPushButton>(w, "cmdA")->text(), QStringLiteral("Accept A(i,j)"));
        QCOMPARE(get<QPushButton>(w, "cmdN")->geometry(), QRect(320, 200, 73, 25));
        QCOMPARE(get<QTableView>(w, "msfgData")->geometry(), QRect(16, 24, 665, 169));
        QCOMPARE(get<QLineEdit>(w, "txtEr")->geometry(), QRect(552, 360, 129, 25));
        QVERIFY(get<QFrame>(w, "Line1"));
        for (int k = 0; k < 3; ++k) {
            QFrame* frame = get<QFrame>(w, QByteArray("frmIndex(" + QByteArray::number(k) + ")").constData());
            QVERIFY(frame);
            QLineEdit* index = get<QLineEdit>(w, QByteArray("txtIndex(" + QByteArray::number(k) + ")").constData());
            QVERIFY(index);
            QCOMPARE(index->parentWidget(), frame);
            QCOMPARE(index->geometry(), QRect(8, 16, 25, 19));
            QCOMPARE(get<QPushButton>(w, QByteArray("cmdUp(" + QByteArray::number(k) + ")").constData())->text(),
                     QStringLiteral(">"));
        }
        const char* actions[][2] = {{"Open", "Ctrl+O"},   {"Save", "Ctrl+R"},  {"Connect", "Ctrl+C"},
                                    {"Exit", "Ctrl+E"},   {"About", "Ctrl+A"}, {"UserGuide", "Ctrl+U"},
                                    {"GetPaid", "Ctrl+G"}};
        for (auto& a : actions) {
            QAction* act = w.findChild<QAction*>(QString::fromLatin1(a[0]));
            QVERIFY2(act, a[0]);
            QCOMPARE(act->shortcut(), QKeySequence(QString::fromLatin1(a[1])));
        }
        for (const char* name : {"File", "Help", "Separator"}) QVERIFY2(w.findChild<QAction*>(name), name);
        QCOMPARE(w.findChild<QAction*>("Separator")->isSeparator(), true);
    }

    void loadSetsTheFirstStatesAndWritesTheSamples() {
        test::TempDir dir;
        FrmMain w(QString::fromStdString(dir.path()));
        for (const char* off : {"txtIndex(0)", "txtIndex(1)", "txtIndex(2)", "cmdA", "cmdB", "cmdSolution", "cmdIter"})
            QVERIFY2(!get<QWidget>(w, off)->isEnabled(), off);
        for (const char* on : {"txtN", "cmdN", "txtA", "txtB", "txtEps", "cmdUp(0)", "cmdDown(2)"})
            QVERIFY2(get<QWidget>(w, on)->isEnabled(), on);
        QCOMPARE(get<QLineEdit>(w, "txtEps")->text(), QStringLiteral("0.5"));
        QCOMPARE(get<QLineEdit>(w, "txtIndex(1)")->text(), QStringLiteral("1"));
        QCOMPARE(w.app().st.Eps, 0.5f);
        QCOMPARE(w.app().st.IterCount, int16_t(1));
        QVERIFY(std::filesystem::is_regular_file(dir.path() + "/data/sample4.txt"));
    }

    void typedSystemIsSolvedFromButtonToResult() {
        test::TempDir dir;
        FrmMain w(QString::fromStdString(dir.path()));
        test::FakeBoxes boxes;
        w.app().box = &boxes;
        w.show();

        type(w, "txtN", "2");
        click(w, "cmdN");
        // a(1,1) = 2 with both selectors at 1, then a(1,2), a(2,2), a(2,1) by the arrows.
        type(w, "txtA", "2");
        click(w, "cmdA");
        click(w, "cmdUp(1)");
        type(w, "txtA", "1");
        click(w, "cmdA");
        click(w, "cmdUp(0)");
        type(w, "txtA", "3");
        click(w, "cmdA");
        click(w, "cmdDown(1)");
        type(w, "txtA", "1");
        click(w, "cmdA");
        type(w, "txtB", "3");
        click(w, "cmdB");
        click(w, "cmdUp(2)");
        type(w, "txtB", "5");
        click(w, "cmdB");
        QCOMPARE(get<QLineEdit>(w, "txtIndex(2)")->text(), QStringLiteral("2"));

        click(w, "cmdSolution");
        QVERIFY(boxes.shown.empty());
        GridTableModel* model = w.gridModel();
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(model->columnCount(), 7);
        QCOMPARE(model->headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Solution"));
        QCOMPARE(model->cornerText(), QStringLiteral("System"));
        QCOMPARE(model->data(model->index(0, 0), Qt::DisplayRole).toString(), QStringLiteral("2"));
        const float x1 = text_to_single(model->data(model->index(0, 6), Qt::DisplayRole).toString().toStdString());
        const float x2 = text_to_single(model->data(model->index(1, 6), Qt::DisplayRole).toString().toStdString());
        QVERIFY(qAbs(x1 - 0.8f) < 1e-5f);
        QVERIFY(qAbs(x2 - 1.4f) < 1e-5f);
        QVERIFY(text_to_single(get<QLineEdit>(w, "txtEr")->text().toStdString()) <= 0.5f);
        QVERIFY(!get<QLineEdit>(w, "txtTime")->text().isEmpty());
        QCOMPARE(w.app().st.IterCount, int16_t(2));
    }

    void refusedOrderLeavesTheWindowAsItWas() {
        test::TempDir dir;
        FrmMain w(QString::fromStdString(dir.path()));
        test::FakeBoxes boxes;
        w.app().box = &boxes;
        type(w, "txtN", "16382");
        QTest::mouseClick(get<QPushButton>(w, "cmdN"), Qt::LeftButton);
        QCOMPARE(boxes.shown.size(), std::size_t(1));
        QVERIFY(!get<QWidget>(w, "cmdSolution")->isEnabled());
        QCOMPARE(w.gridModel()->rowCount(), 1);

        // A large order lays out and scrolls to its far corner.
        type(w, "txtN", "2000");
        click(w, "cmdN");
        QCOMPARE(w.gridModel()->rowCount(), 2000);
        QCOMPARE(w.gridModel()->columnCount(), 4003);
        QTableView* view = get<QTableView>(w, "msfgData");
        view->scrollTo(w.gridModel()->index(1999, 4002));
        QCOMPARE(w.gridModel()->data(w.gridModel()->index(1999, 4002), Qt::DisplayRole).toString(),
                 QStringLiteral("0"));
    }

    void menuShortcutWinsOverAFocusedTextBox() {
        test::TempDir dir;
        FrmMain w(QString::fromStdString(dir.path()));
        test::FakeBoxes boxes;
        w.app().box = &boxes;
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QLineEdit* txtN = get<QLineEdit>(w, "txtN");
        txtN->setFocus();
        QTest::keyClicks(txtN, "12");
        QTest::keyClick(txtN, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(boxes.shown.size(), std::size_t(1));
        QVERIFY(QString::fromStdString(boxes.shown[0]).contains("VARNEX SOLVER"));
        QVERIFY(!txtN->hasSelectedText());
        QCOMPARE(txtN->text(), QStringLiteral("12"));

        // The grid has the focus: Ctrl+C is Connect (its dialog cancelled), not a copy.
        test::FakeDialog cd;
        w.app().cd = &cd;
        QTableView* grid = get<QTableView>(w, "msfgData");
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(cd.opens, 1);
    }

    void messageBoxesCarryTheTitleAndTheirButtonsOnly() {
        QWidget parent;
        QtMessageBoxes boxes(&parent);
        QString title;
        QMessageBox::StandardButtons buttons;
        QMessageBox::Icon icon = QMessageBox::Warning;
        auto answer = [&](QMessageBox::StandardButton press) {
            QTimer::singleShot(0, [&, press] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box) return;
                title = box->windowTitle();
                buttons = box->standardButtons();
                icon = box->icon();
                box->button(press)->click();
            });
        };
        answer(QMessageBox::Ok);
        boxes.message(" Sorry, not correct format of the entered number.");
        QCOMPARE(title, QStringLiteral("VARNEX_SOLVER"));
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(icon, QMessageBox::NoIcon);
        answer(QMessageBox::No);
        QVERIFY(!boxes.ask_yes_no("Such file exists. Do you want to replace the old file?"));
        QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);
        answer(QMessageBox::Yes);
        QVERIFY(boxes.ask_yes_no("Replace?"));
    }

    void exitEndsTheEventLoop() {
        test::TempDir dir;
        FrmMain w(QString::fromStdString(dir.path()));
        QTimer::singleShot(0, [&] { w.findChild<QAction*>("Exit")->trigger(); });
        QTimer::singleShot(5000, [] { QCoreApplication::exit(7); });  // only if Exit did nothing
        QEventLoop loop;
        QCOMPARE(loop.exec(), 0);
    }
};

QTEST_MAIN(FrmMainTest)
#include "frm_main_qtest.moc"
