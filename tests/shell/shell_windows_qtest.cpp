// The shell's own windows. The agreement window: the marker that "I agree" writes, the end of the
// program on "I do not agree", and the keys on a freshly opened window. The help window: one modeless
// instance, its history through Back and Forward, the captions set by the two menu commands, and
// pages that cannot be loaded.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include "shell/agreement_window.h"
#include "shell/help_window.h"
#include "support/fakes.h"

using namespace varnex;

namespace {

QUrl source() { return help_window()->browser()->source(); }
QString shown_text() { return help_window()->browser()->toPlainText(); }
void click(QWidget* w, const char* name) { QTest::mouseClick(w->findChild<QPushButton*>(name), Qt::LeftButton); }

}  // namespace

class ShellWindowsTest : public QObject {
    Q_OBJECT
    test::TempDir dir_;
    test::FakeBoxes box_;
    int ends_ = 0;
    QString folder() const { return QString::fromStdString(dir_.path()); }
    QUrl guide() const { return QUrl::fromLocalFile(folder() + "/user_guide.htm"); }
    void press(FrmAgreement& w, const char* button) {
        w.show();
        click(&w, button);
    }

  private slots:
    // Any warning fails, except the offscreen platform's note that it cannot raise windows.
    void init() {
        QTest::failOnWarning(QRegularExpression("^(?!This plugin does not support raise)"));
        QDir(folder()).removeRecursively();
        QDir().mkpath(folder());
        dir_.write("user_guide.htm", "<html><body><p>Local guide text</p></body></html>");
        box_.shown.clear();
        ends_ = 0;
    }
    void cleanup() {
        close_help_window();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
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

    // Run modally, as at a start: Enter and Space press the focused "I agree"; Escape leaves it open.
    void agreementKeysOnAFreshWindow() {
        for (auto [key, agreed] : {std::pair{Qt::Key_Return, true}, {Qt::Key_Space, true}, {Qt::Key_Escape, false}}) {
            QFile::remove(agreement_marker_path(folder()));
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

    void helpHistoryLivesAsLongAsTheOneWindow() {
        UserGuide_Click(folder());
        FrmHelp* w = help_window();
        QCOMPARE(w->windowTitle(), QString("User Guide"));
        QVERIFY(source() == guide() && shown_text().contains("Local guide text"));

        GetPaid_Click();
        QCOMPARE(help_window(), w);
        // The web address on a page of the window's own, with the button that hands it on.
        QVERIFY(shown_text().contains(kGetPaidAddress) && shown_text().contains("Open in web browser"));
        click(w, "cmdBack");
        QCOMPARE(source(), guide());
        QCOMPARE(w->windowTitle(), QString("Get Paid"));
        click(w, "cmdForward");
        QCOMPARE(source(), QUrl(kGetPaidAddress));

        // Closed and reopened before the old window is even deleted, on a folder without the guide: a
        // fresh window with an empty history and the browser's page for a missing file.
        close_help_window();
        test::TempDir empty;
        UserGuide_Click(QString::fromStdString(empty.path()));
        QVERIFY(help_window() != w);
        QCOMPARE(help_window()->browser()->backwardHistoryCount(), 0);
        QVERIFY(shown_text().contains("cannot be displayed"));
    }
};

QTEST_MAIN(ShellWindowsTest)
#include "shell_windows_qtest.moc"
