// The agreement window: its text layout, the marker that "I agree" writes, the end of the program
// on "I do not agree", and the keys on a freshly opened window.

#include <QApplication>
#include <QDir>
#include <QPushButton>
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
// the window is up. Returns the dialog's result, or -2 when the key left the window open.
int exec_with_key(FrmAgreement& w, Qt::Key key) {
    QTimer::singleShot(0, &w, [&w, key] {
        QWidget* focus = QTest::qWaitForWindowActive(&w) ? QApplication::focusWidget() : nullptr;
        if (!focus) return w.done(-1);
        // The focused button may press on Enter, but no button is the window's default.
        if (w.findChild<QPushButton*>("cmdYes")->isDefault() || w.findChild<QPushButton*>("cmdNo")->isDefault())
            return w.done(-3);
        QTest::keyClick(focus, key);
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
        // Title, blank, intro (2), blank, then the five sections; the limitations paragraph runs
        // straight into the terms heading. One letter per line: 'B' blank, 'T' text.
        const QString shape =
            "TB"
            "TTB"
            "TBTTB"
            "TBTTTT"
            "TBTB"
            "TBTTB"
            "TBTTT";
        QCOMPARE(lines.size(), shape.size());
        for (int i = 0; i < lines.size(); ++i) {
            QVERIFY2((shape[i] == 'B') == lines[i].trimmed().isEmpty(), qPrintable(QString::number(i)));
            QVERIFY(!lines[i].contains('\r') && !lines[i].contains('\n'));
        }
        QCOMPARE(lines[0], lines[0].toUpper());
        QVERIFY(text.contains("VARNEX"));
    }

    void agreeWritesTheSixByteMarker() {
        TempDir dir;
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

    void disagreeAndFrameCloseWriteNoMarker() {
        TempDir dir;
        FakeBoxes box;
        int ends = 0;
        FrmAgreement no(folder_of(dir), box, [&ends] { ++ends; });
        no.show();
        QTest::mouseClick(no.findChild<QPushButton*>("cmdNo"), Qt::LeftButton);
        QCOMPARE(ends, 1);
        QVERIFY(!no.isVisible());

        // Closing through the frame ends only the modal wait, not the program.
        FrmAgreement closed(folder_of(dir), box, [&ends] { ++ends; });
        closed.show();
        QVERIFY(closed.close());
        QCOMPARE(ends, 1);
        QVERIFY(!QFile::exists(agreement_marker_path(folder_of(dir))));
    }

    void keysOnAFreshWindow() {
        const struct {
            Qt::Key key;
            int result;
        } cases[] = {{Qt::Key_Return, QDialog::Accepted},
                     {Qt::Key_Enter, QDialog::Accepted},
                     {Qt::Key_Space, QDialog::Accepted},
                     {Qt::Key_Escape, -2}};
        for (const auto& c : cases) {
            TempDir dir;
            FakeBoxes box;
            FrmAgreement w(folder_of(dir), box, [] {});
            QCOMPARE(exec_with_key(w, c.key), c.result);
            QCOMPARE(agreement_marker_exists(folder_of(dir)), c.result == QDialog::Accepted);
        }
    }

    void unwritableMarkerIsReportedAndTheStartGoesOn() {
        TempDir dir;
        // A folder in the marker's place: the file cannot be written, and the folder is no marker.
        QVERIFY(QDir(folder_of(dir)).mkdir("kvt.rss"));
        QVERIFY(!agreement_marker_exists(folder_of(dir)));
        FakeBoxes box;
        FrmAgreement w(folder_of(dir), box, [] {});
        w.show();
        QTest::mouseClick(w.findChild<QPushButton*>("cmdYes"), Qt::LeftButton);
        QCOMPARE(box.shown.size(), size_t(1));
        QVERIFY(QString::fromStdString(box.shown[0]).contains(agreement_marker_path(folder_of(dir))));
        QCOMPARE(w.result(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(AgreementTest)
#include "agreement_qtest.moc"
