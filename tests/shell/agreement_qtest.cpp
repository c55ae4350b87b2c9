// The agreement window: its text layout, the marker that "I agree" writes, the end of the program
// on "I do not agree", and the keys on a freshly opened window.

#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "shell/agreement_window.h"
#include "support/fakes.h"

using namespace varnex;
using varnex::test::FakeBoxes;
using varnex::test::TempDir;

namespace {

QString folder_of(const TempDir& dir) { return QString::fromStdString(dir.path()); }

std::string marker_bytes(const TempDir& dir) { return test::read_file(dir.path() + "/kvt.rss"); }

// Runs the window modally, as the start does, and presses the key on whatever holds the focus once
// the window is up. Returns the dialog's result.
int exec_with_key(FrmAgreement& w, Qt::Key key) {
    QTimer::singleShot(0, &w, [&w, key] {
        QWidget* focus = QTest::qWaitForWindowActive(&w) ? QApplication::focusWidget() : nullptr;
        if (!focus) {
            w.done(-1);
            return;
        }
        QTest::keyClick(focus, key);
        // A key that pressed nothing leaves the window open; end the modal wait so the test goes on.
        if (w.isVisible()) w.done(-2);
    });
    return w.exec();
}

}  // namespace

class AgreementTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { QTest::failOnWarning(QRegularExpression(".*")); }

    void textFollowsTheLayout() {
        const QString text = agreement_text();
        QVERIFY(!text.endsWith("\r\n"));
        const QStringList lines = text.split("\r\n");
        // Every line break is CR LF: no lone CR or LF is left inside a line.
        for (const QString& l : lines) QVERIFY2(!l.contains('\r') && !l.contains('\n'), qPrintable(l));

        // Title, blank, intro (2), blank, then the five sections; the limitations paragraph runs
        // straight into the terms heading. Index = line number from 0; 'B' blank, 'T' text.
        const QString shape =
            "TB"
            "TTB"
            "TBTTB"
            "TBTTTT"
            "TBTB"
            "TBTTB"
            "TBTTT";
        QCOMPARE(lines.size(), shape.size());
        for (int i = 0; i < lines.size(); ++i)
            QVERIFY2((shape[i] == 'B') == lines[i].trimmed().isEmpty(), qPrintable(QString::number(i)));
        QCOMPARE(lines[0], lines[0].toUpper());
        QVERIFY(text.contains("VARNEX"));
        QCOMPARE(lines[16].left(2), QString("3."));
    }

    void windowShowsTheTextWrappedAndEditable() {
        TempDir dir;
        FakeBoxes box;
        FrmAgreement w(folder_of(dir), box, [] {});
        QCOMPARE(w.objectName(), QString("frmAgreement"));
        QCOMPARE(w.windowTitle(), QString("Agreement"));
        QCOMPARE(w.size(), QSize(546, 519));
        auto* txt = w.findChild<QPlainTextEdit*>("txtAgreement");
        auto* yes = w.findChild<QPushButton*>("cmdYes");
        auto* no = w.findChild<QPushButton*>("cmdNo");
        QVERIFY(txt && yes && no);
        QCOMPARE(yes->text(), QString("I agree"));
        QCOMPARE(no->text(), QString("I do not agree"));
        QCOMPARE(txt->toPlainText(), agreement_text().replace("\r\n", "\n"));
        QCOMPARE(txt->blockCount(), 30);
        QVERIFY(!txt->isReadOnly());
        QCOMPARE(txt->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(txt->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(txt->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        // Tab order: I agree, I do not agree, the text.
        QCOMPARE(yes->nextInFocusChain(), static_cast<QWidget*>(no));
        QCOMPARE(no->nextInFocusChain(), static_cast<QWidget*>(txt));
    }

    void agreeWritesTheSixByteMarker() {
        TempDir dir;
        // A file of that name with other content is emptied first.
        dir.write("kvt.rss", "an older, longer content\n");
        FakeBoxes box;
        int ends = 0;
        FrmAgreement w(folder_of(dir), box, [&ends] { ++ends; });
        w.show();
        QTest::mouseClick(w.findChild<QPushButton*>("cmdYes"), Qt::LeftButton);
        QCOMPARE(marker_bytes(dir), std::string("    \r\n"));
        QVERIFY(agreement_marker_exists(folder_of(dir)));
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QVERIFY(!w.isVisible());
        QCOMPARE(ends, 0);
        QVERIFY(box.shown.empty());
    }

    void disagreeEndsTheProgramWithoutMarker() {
        TempDir dir;
        FakeBoxes box;
        int ends = 0;
        FrmAgreement w(folder_of(dir), box, [&ends] { ++ends; });
        w.show();
        QTest::mouseClick(w.findChild<QPushButton*>("cmdNo"), Qt::LeftButton);
        QCOMPARE(ends, 1);
        QVERIFY(!QFile::exists(agreement_marker_path(folder_of(dir))));
        QVERIFY(!w.isVisible());
        QVERIFY(box.shown.empty());
    }

    void closingThroughTheFrameWritesNothing() {
        TempDir dir;
        FakeBoxes box;
        int ends = 0;
        FrmAgreement w(folder_of(dir), box, [&ends] { ++ends; });
        w.show();
        QVERIFY(w.close());
        QCOMPARE(w.result(), int(QDialog::Rejected));
        QCOMPARE(ends, 0);
        QVERIFY(!agreement_marker_exists(folder_of(dir)));
    }

    void enterAndSpaceOnAFreshWindowPressIAgree() {
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
            TempDir dir;
            FakeBoxes box;
            int ends = 0;
            FrmAgreement w(folder_of(dir), box, [&ends] { ++ends; });
            QCOMPARE(exec_with_key(w, key), int(QDialog::Accepted));
            QCOMPARE(marker_bytes(dir), std::string("    \r\n"));
            QCOMPARE(ends, 0);
        }
    }

    void escapeDoesNotCloseTheWindow() {
        TempDir dir;
        FakeBoxes box;
        FrmAgreement w(folder_of(dir), box, [] {});
        QCOMPARE(exec_with_key(w, Qt::Key_Escape), -2);
        QVERIFY(!agreement_marker_exists(folder_of(dir)));
    }

    void enterInTheTextIsNoButtonPress() {
        TempDir dir;
        FakeBoxes box;
        FrmAgreement w(folder_of(dir), box, [] {});
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        // Neither button is the window's default.
        QVERIFY(!w.findChild<QPushButton*>("cmdYes")->isDefault());
        QVERIFY(!w.findChild<QPushButton*>("cmdNo")->isDefault());
        auto* txt = w.findChild<QPlainTextEdit*>("txtAgreement");
        txt->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(txt));
        QTest::keyClick(txt, Qt::Key_Return);
        QVERIFY(w.isVisible());
        QCOMPARE(txt->blockCount(), 31);
        QVERIFY(!agreement_marker_exists(folder_of(dir)));
    }

    void unwritableMarkerIsReportedAndTheStartGoesOn() {
        TempDir dir;
        // A folder in the marker's place: the file cannot be written and the folder is no marker.
        QVERIFY(QDir(folder_of(dir)).mkdir("kvt.rss"));
        QVERIFY(!agreement_marker_exists(folder_of(dir)));
        FakeBoxes box;
        int ends = 0;
        FrmAgreement w(folder_of(dir), box, [&ends] { ++ends; });
        w.show();
        QTest::mouseClick(w.findChild<QPushButton*>("cmdYes"), Qt::LeftButton);
        QCOMPARE(box.shown.size(), size_t(1));
        QVERIFY(QString::fromStdString(box.shown[0]).contains(agreement_marker_path(folder_of(dir))));
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(ends, 0);
    }
};

QTEST_MAIN(AgreementTest)
#include "agreement_qtest.moc"
