// The real main window, offscreen: its controls and their first states, the menu's shortcuts, the
// message boxes, and a system typed in and solved as a user would.
#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include "core/convert.h"
#include "mainwindow/frm_main.h"
#include "mainwindow/grid_table_model.h"
#include "mainwindow/qt_seams.h"
#include "support/fakes.h"

using namespace varnex;

namespace {

// The window on a fresh application folder, with the message boxes answered by a fake.
struct Window {
    test::TempDir dir;
    test::FakeBoxes boxes;
    FrmMain w{QString::fromStdString(dir.path())};
    Window() { w.app().box = &boxes; }
    template <class W = QWidget>
    W* get(const char* name) {
        return w.findChild<W*>(QString::fromLatin1(name));
    }
    void click(const char* name) { QTest::mouseClick(get<QPushButton>(name), Qt::LeftButton); }
    // Types the text into box txt<x> and presses its button cmd<x>.
    void enter(const QString& x, const QString& text) {
        QLineEdit* box = w.findChild<QLineEdit*>("txt" + x);
        box->clear();
        QTest::keyClicks(box, text);
        QTest::mouseClick(w.findChild<QPushButton*>("cmd" + x), Qt::LeftButton);
    }
};

}  // namespace

class FrmMainTest : public QObject {
    Q_OBJECT

  private slots:
    void controlsCarryTheirNamesCaptionsAndFirstStates() {
        Window win;
        QCOMPARE(win.w.objectName(), QStringLiteral("frmMain"));
        QCOMPARE(win.w.windowTitle(), QStringLiteral("VARNEX SOLVER"));
        QVERIFY(win.get<QTableView>("msfgData") && win.get<QFrame>("Line1") && win.get<QFrame>("frmIndex(2)"));
        // Each control: its name, its caption or first text, and whether it starts enabled ("on" or "off").
        // clang-format off
        const char* controls[][3] = {
            {"lblN", "N=", "on"}, {"lblA", "A (", "on"}, {"lblA1", ",", "on"}, {"lblA2", ") =", "on"},
            {"lblB", "B (", "on"}, {"lblB1", ") =", "on"}, {"lblEps", "Desired accuracy", "on"},
            {"lblTime", "Duration of the  last operation", "on"}, {"lblEr", "Current accuracy", "on"},
            {"txtN", "", "on"}, {"cmdN", "Accept N", "on"}, {"txtA", "", "on"}, {"cmdA", "Accept A(i,j)", "off"},
            {"txtB", "", "on"}, {"cmdB", "Accept B(i)", "off"}, {"cmdSolution", "Find  solution", "off"},
            {"cmdIter", "Next Iteration", "off"}, {"txtEps", "0.5", "on"}, {"txtTime", "", "on"}, {"txtEr", "", "on"},
            {"txtIndex(0)", "1", "off"}, {"txtIndex(1)", "1", "off"}, {"txtIndex(2)", "1", "off"},
            {"cmdUp(0)", ">", "on"}, {"cmdDown(0)", "<", "on"}, {"cmdUp(2)", ">", "on"}, {"cmdDown(2)", "<", "on"}
        };
        // clang-format on
        for (auto& c : controls) {
            QWidget* w = win.get(c[0]);
            QVERIFY2(w, c[0]);
            QVERIFY2(w->property("text").toString() == QString::fromLatin1(c[1]), c[0]);
            QVERIFY2(w->isEnabled() == (c[2][1] == 'n'), c[0]);
        }
        const char* actions[][2] = {{"Open", "Ctrl+O"},    {"Save", "Ctrl+R"},  {"Connect", "Ctrl+C"},
                                    {"Exit", "Ctrl+E"},    {"About", "Ctrl+A"}, {"UserGuide", "Ctrl+U"},
                                    {"GetPaid", "Ctrl+G"}, {"Separator", ""}};
        for (auto& a : actions) {
            QAction* act = win.w.findChild<QAction*>(QString::fromLatin1(a[0]));
            QVERIFY2(act && act->shortcut() == QKeySequence(QString::fromLatin1(a[1])), a[0]);
        }
    }

    void typedSystemIsSolvedFromButtonToResultAfterARefusedOrder() {
        Window win;
        win.w.show();
        win.enter("N", "16382");  // refused, leaving the window as it was
        QCOMPARE(win.boxes.shown.size(), std::size_t(1));
        QVERIFY(!win.get("cmdSolution")->isEnabled());
        QCOMPARE(win.w.gridModel()->rowCount(), 1);
        win.enter("N", "2");
        // a(1,1) = 2 with both selectors at 1, then a(1,2), a(2,2), a(2,1) by the arrows; then b(1), b(2).
        for (auto [arrow, x, value] : {std::tuple{"", "A", "2"},
                                       {"cmdUp(1)", "A", "1"},
                                       {"cmdUp(0)", "A", "3"},
                                       {"cmdDown(1)", "A", "1"},
                                       {"", "B", "3"},
                                       {"cmdUp(2)", "B", "5"}}) {
            if (*arrow) win.click(arrow);
            win.enter(x, value);
        }
        win.click("cmdSolution");
        QCOMPARE(win.boxes.shown.size(), std::size_t(1));
        GridTableModel* model = win.w.gridModel();
        QCOMPARE(model->headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Solution"));
        const float x1 = text_to_single(model->data(model->index(0, 6)).toString().toStdString());
        const float x2 = text_to_single(model->data(model->index(1, 6)).toString().toStdString());
        QVERIFY(qAbs(x1 - 0.8f) < 1e-5f && qAbs(x2 - 1.4f) < 1e-5f);
        QVERIFY(text_to_single(win.get<QLineEdit>("txtEr")->text().toStdString()) <= 0.5f);
        QCOMPARE(win.w.app().st.IterCount, int16_t(2));
    }

    void menuShortcutsWinOverTheFocusedControl() {
        Window win;
        win.w.show();
        win.w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        QLineEdit* txtN = win.get<QLineEdit>("txtN");
        txtN->setFocus();
        QTest::keyClicks(txtN, "12");
        QTest::keyClick(txtN, Qt::Key_A, Qt::ControlModifier);  // About, not select-all
        QCOMPARE(win.boxes.shown.size(), std::size_t(1));
        QVERIFY(QString::fromStdString(win.boxes.shown[0]).contains("VARNEX SOLVER"));
        QVERIFY(!txtN->hasSelectedText());

        test::FakeDialog cd;  // on the grid, Ctrl+C is Connect (its dialog cancelled), not a copy
        win.w.app().cd = &cd;
        win.get("msfgData")->setFocus();
        QTest::keyClick(win.get("msfgData"), Qt::Key_C, Qt::ControlModifier);
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
    }

    void exitEndsTheEventLoop() {
        Window win;
        QTimer::singleShot(0, [&] { win.w.findChild<QAction*>("Exit")->trigger(); });
        QTimer::singleShot(5000, [] { QCoreApplication::exit(7); });  // only if Exit did nothing
        QEventLoop loop;
        QCOMPARE(loop.exec(), 0);
    }
};

QTEST_MAIN(FrmMainTest)
#include "frm_main_qtest.moc"
