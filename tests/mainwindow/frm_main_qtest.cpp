// The real main window, offscreen: controls, shortcuts, message boxes, and a system solved as a user would.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "core/convert.h"
#include "mainwindow/frm_main.h"
#include "mainwindow/grid_table_model.h"
#include "mainwindow/qt_seams.h"
#include "support/window.h"

using namespace varnex;
using test::Window;

class FrmMainTest : public QObject {
    Q_OBJECT

  private slots:
    void controlsCarryTheirNamesCaptionsAndFirstStates() {
        Window win;
        QCOMPARE(win.w.windowTitle(), QStringLiteral("VARNEX SOLVER"));
        // clang-format off
        const char* captions[][2] = {
            {"lblN", "N="}, {"lblA", "A ("}, {"lblA1", ","}, {"lblA2", ") ="}, {"lblB", "B ("}, {"lblB1", ") ="},
            {"lblEps", "Desired accuracy"}, {"lblTime", "Duration of the  last operation"},
            {"lblEr", "Current accuracy"}, {"txtN", ""}, {"cmdN", "Accept N"}, {"cmdA", "Accept A(i,j)"},
            {"cmdB", "Accept B(i)"}, {"cmdSolution", "Find  solution"}, {"cmdIter", "Next Iteration"},
            {"txtEps", "0.5"}, {"txtEr", ""}, {"txtIndex(0)", "1"}, {"txtIndex(2)", "1"},
            {"cmdUp(0)", ">"}, {"cmdDown(0)", "<"}};
        const char* actions[][2] = {{"Open", "Ctrl+O"}, {"Save", "Ctrl+R"}, {"Connect", "Ctrl+C"}, {"Exit", "Ctrl+E"},
                                    {"About", "Ctrl+A"}, {"UserGuide", "Ctrl+U"}, {"GetPaid", "Ctrl+G"}};
        // clang-format on
        for (auto& c : captions) {
            QWidget* w = win.get(c[0]);
            QVERIFY2(w && w->property("text").toString() == QString::fromLatin1(c[1]), c[0]);
        }
        for (const char* off : {"cmdA", "cmdB", "cmdSolution", "cmdIter", "txtIndex(0)", "txtIndex(2)"})
            QVERIFY2(!win.get(off)->isEnabled(), off);
        for (auto& a : actions) {
            QAction* act = win.w.findChild<QAction*>(QString::fromLatin1(a[0]));
            QVERIFY2(act && act->shortcut() == QKeySequence(QString::fromLatin1(a[1])), a[0]);
        }
    }

    void typedSystemIsSolvedFromButtonToResult() {
        Window win;
        win.w.show();
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
        GridTableModel* model = win.w.gridModel();
        auto x = [&](int row) { return text_to_single(model->data(model->index(row, 6)).toString().toStdString()); };
        QVERIFY(qAbs(x(0) - 0.8f) < 1e-5f && qAbs(x(1) - 1.4f) < 1e-5f);
        QVERIFY(text_to_single(win.get("txtEr")->property("text").toString().toStdString()) <= 0.5f);
        QCOMPARE(win.w.app().st.IterCount, int16_t(2));
    }

    void ctrlAOverALineEditOpensAboutNotSelectAll() {
        Window win;
        win.w.show();
        win.w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        auto* txtN = qobject_cast<QLineEdit*>(win.get("txtN"));
        txtN->setFocus();
        QTest::keyClicks(txtN, "12");
        QTest::keyClick(txtN, Qt::Key_A, Qt::ControlModifier);
        QVERIFY(win.boxes.shown.size() == 1 && QString::fromStdString(win.boxes.shown[0]).contains("VARNEX SOLVER"));
        QVERIFY(!txtN->hasSelectedText());
    }

    void messageBoxesCarryTheTitleAndTheirButtonsOnly() {
        QWidget parent;
        QtMessageBoxes boxes(&parent);
        QString seen;  // title, icon and buttons of the box answered last
        auto answer = [&](QMessageBox::StandardButton press) {
            QTimer::singleShot(0, [&, press] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                seen = QStringLiteral("%1 %2 %3").arg(box->windowTitle()).arg(box->icon()).arg(box->standardButtons());
                box->button(press)->click();
            });
        };
        answer(QMessageBox::Ok);
        boxes.message(" Sorry, not correct format of the entered number.");
        QCOMPARE(seen, QStringLiteral("VARNEX_SOLVER %1 %2").arg(QMessageBox::NoIcon).arg(QMessageBox::Ok));
        answer(QMessageBox::No);
        QVERIFY(!boxes.ask_yes_no("Such file exists. Do you want to replace the old file?"));
        QVERIFY(seen.endsWith(QString::number(QMessageBox::Yes | QMessageBox::No)));
    }
};

QTEST_MAIN(FrmMainTest)
#include "frm_main_qtest.moc"
