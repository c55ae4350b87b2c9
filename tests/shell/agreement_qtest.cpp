// The agreement window: the marker that "I agree" writes, the end of the program on "I do not agree",
// and the keys on a freshly opened window.
#include <QApplication>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QScrollBar>
#include <QDir>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "shell/agreement_window.h"
#include "support/fakes.h"

using namespace varnex;

class AgreementTest : public QObject {
    Q_OBJECT
    test::TempDir dir_;
    test::FakeBoxes box_;
    int ends_ = 0;
    QString folder() const { return QString::fromStdString(dir_.path()); }
    void press(FrmAgreement& w, const char* button) {
        w.show();
        QTest::mouseClick(w.findChild<QPushButton*>(button), Qt::LeftButton);
    }

  private slots:
    void init() { QTest::failOnWarning(QRegularExpression(".*")); }
    void cleanup() {
        QDir(folder()).removeRecursively();
        QDir().mkpath(folder());
        box_.shown.clear();
        ends_ = 0;
    }

    void agreeWritesTheSixByteMarkerOrReportsWhyItCannot() {
        dir_.write("kvt.rss", "an older, longer content\n");
        FrmAgreement w(folder(), box_, [this] { ++ends_; });
        press(w, "cmdYes");
        QCOMPARE(test::read_file(dir_.path() + "/kvt.rss"), std::string("    \r\n"));
        QVERIFY(agreement_marker_exists(folder()) && !w.isVisible() && w.result() == QDialog::Accepted);

        // A folder in the marker's place is no marker, and the file cannot be written: reported, and
        // the start goes on.
        QVERIFY(QFile::remove(agreement_marker_path(folder())) && QDir(folder()).mkdir("kvt.rss"));
        FrmAgreement again(folder(), box_, [this] { ++ends_; });
        press(again, "cmdYes");
        QVERIFY(box_.shown.size() == 1 &&
                QString::fromStdString(box_.shown[0]).contains(agreement_marker_path(folder())));
        QVERIFY(ends_ == 0 && again.result() == QDialog::Accepted && !agreement_marker_exists(folder()));
    }

    void disagreeEndsTheProgramAndNeitherItNorTheFrameWritesAMarker() {
        FrmAgreement no(folder(), box_, [this] { ++ends_; });
        press(no, "cmdNo");
        FrmAgreement closed(folder(), box_, [this] { ++ends_; });
        closed.show();
        QVERIFY(closed.close());
        QCOMPARE(ends_, 1);  // the frame ends only the modal wait
        QVERIFY(!no.isVisible());
        QVERIFY(!QFile::exists(agreement_marker_path(folder())));
    }

    // The window opens on the top of the text with the scroll bar at its top, and its two buttons in
    // one font.
    void opensAtTheTopWithOneButtonFont() {
        FrmAgreement w(folder(), box_, [] {});
        w.show();
        QCoreApplication::processEvents();
        auto* text = w.findChild<QPlainTextEdit*>("txtAgreement");
        QScrollBar* bar = text->verticalScrollBar();
        QCOMPARE(bar->value(), bar->minimum());
        QCOMPARE(text->cursorForPosition(QPoint(4, 4)).blockNumber(), 0);
        QVERIFY(bar->maximum() > bar->minimum());
        bar->setValue(bar->maximum());
        QVERIFY(text->cursorForPosition(QPoint(4, 4)).blockNumber() > 0);  // the text follows the bar
        QCOMPARE(w.findChild<QPushButton*>("cmdNo")->font(), w.findChild<QPushButton*>("cmdYes")->font());
    }

    // Run modally, as at a start: Enter and Space press the focused "I agree"; Escape leaves it open.
    void keysOnAFreshWindow() {
        for (auto [key, agreed] : {std::pair{Qt::Key_Return, true}, {Qt::Key_Space, true}, {Qt::Key_Escape, false}}) {
            cleanup();
            FrmAgreement w(folder(), box_, [] {});
            QTimer::singleShot(0, &w, [&w, key] {
                QWidget* focus = QTest::qWaitForWindowActive(&w) ? QApplication::focusWidget() : nullptr;
                if (focus) QTest::keyClick(focus, key);
                if (w.isVisible()) w.done(-2);
            });
            QCOMPARE(w.exec(), agreed ? int(QDialog::Accepted) : -2);
            QCOMPARE(agreement_marker_exists(folder()), agreed);
        }
    }
};

QTEST_MAIN(AgreementTest)
#include "agreement_qtest.moc"
