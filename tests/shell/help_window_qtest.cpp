// The help window: one modeless instance, its history through Back and Forward, the captions set
// by the two menu commands, pages that cannot be loaded, and the shipped user guide.

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include "shell/help_window.h"
#include "support/fakes.h"

using namespace varnex;
using varnex::test::TempDir;

namespace {

const char kGuide[] =
    "<html><head><title>Guide</title></head><body><p><a href=\"#end\">to the end</a></p>"
    "<p>Local guide text</p><a name=\"end\"></a><p>The end</p></body></html>";

QUrl guide_url(const TempDir& dir) {
    return QUrl::fromLocalFile(QString::fromStdString(dir.path()) + "/user_guide.htm");
}

QUrl source() { return help_window()->browser()->source(); }

void click(const char* name) { QTest::mouseClick(help_window()->findChild<QPushButton*>(name), Qt::LeftButton); }

}  // namespace

class HelpWindowTest : public QObject {
    Q_OBJECT
  private slots:
    // Any warning fails, except the offscreen platform's note that it cannot raise windows.
    void init() { QTest::failOnWarning(QRegularExpression("^(?!This plugin does not support raise)")); }

    void cleanup() {
        close_help_window();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void userGuideOpensOneIndependentWindow() {
        TempDir dir;
        dir.write("user_guide.htm", kGuide);
        UserGuide_Click(QString::fromStdString(dir.path()));
        FrmHelp* w = help_window();
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->objectName(), QString("frmHelp"));
        QCOMPARE(w->windowTitle(), QString("User Guide"));
        QCOMPARE(w->parentWidget(), nullptr);
        QCOMPARE(w->minimumSize(), QSize(570, 504));
        QCOMPARE(w->maximumSize(), QSize(570, 504));
        QCOMPARE(w->browser()->objectName(), QString("WebBrowser1"));
        QCOMPARE(source(), guide_url(dir));
        QVERIFY(w->browser()->toPlainText().contains("Local guide text"));

        // A second command reuses the window and keeps its history.
        GetPaid_Click();
        QCOMPARE(help_window(), w);
        UserGuide_Click(QString::fromStdString(dir.path()));
        QCOMPARE(help_window(), w);
        QCOMPARE(w->windowTitle(), QString("User Guide"));
        QCOMPARE(w->browser()->backwardHistoryCount(), 2);
    }

    void backOnAFreshWindowDoesNothing() {
        TempDir dir;
        dir.write("user_guide.htm", kGuide);
        UserGuide_Click(QString::fromStdString(dir.path()));
        click("cmdBack");
        QCOMPARE(source(), guide_url(dir));
        click("cmdForward");
        QCOMPARE(source(), guide_url(dir));
        QCOMPARE(help_window()->windowTitle(), QString("User Guide"));
        QCOMPARE(QApplication::topLevelWidgets().size(), 1);
    }

    void getPaidThenBackReturnsToTheGuide() {
        TempDir dir;
        dir.write("user_guide.htm", kGuide);
        UserGuide_Click(QString::fromStdString(dir.path()));
        GetPaid_Click();
        QCOMPARE(help_window()->windowTitle(), QString("Get Paid"));
        QCOMPARE(source(), QUrl(kGetPaidAddress));
        // The web page cannot be loaded here: the browser shows its own page, the program no message.
        QVERIFY(help_window()->browser()->toPlainText().contains("cannot be displayed"));
        QCOMPARE(QApplication::topLevelWidgets().size(), 1);

        click("cmdBack");
        QCOMPARE(source(), guide_url(dir));
        QVERIFY(help_window()->browser()->toPlainText().contains("Local guide text"));
        QCOMPARE(help_window()->windowTitle(), QString("Get Paid"));
        click("cmdForward");
        QCOMPARE(source(), QUrl(kGetPaidAddress));
    }

    void linksInsideTheGuideEnterTheHistory() {
        TempDir dir;
        dir.write("user_guide.htm", kGuide);
        UserGuide_Click(QString::fromStdString(dir.path()));
        QUrl end = guide_url(dir);
        end.setFragment("end");
        help_window()->browser()->setSource(end);
        click("cmdBack");
        QCOMPARE(source(), guide_url(dir));
    }

    void closingForgetsTheHistory() {
        TempDir dir;
        dir.write("user_guide.htm", kGuide);
        UserGuide_Click(QString::fromStdString(dir.path()));
        GetPaid_Click();
        FrmHelp* first = help_window();
        close_help_window();
        QCOMPARE(help_window(), nullptr);

        // Reopened before the old window is even deleted: a fresh window with an empty history.
        UserGuide_Click(QString::fromStdString(dir.path()));
        QVERIFY(help_window() != first);
        QCOMPARE(help_window()->browser()->backwardHistoryCount(), 0);
        click("cmdBack");
        QCOMPARE(source(), guide_url(dir));
    }

    void missingGuideShowsTheBrowsersOwnPage() {
        TempDir dir;
        UserGuide_Click(QString::fromStdString(dir.path()));
        QCOMPARE(help_window()->windowTitle(), QString("User Guide"));
        QVERIFY(help_window()->browser()->toPlainText().contains("cannot be displayed"));
        QCOMPARE(QApplication::topLevelWidgets().size(), 1);
    }

    void shippedGuideIsSelfContained() {
        QFile f(QStringLiteral(VARNEX_TEST_DATA "/../../shell/user_guide.htm"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(f.readAll());
        QVERIFY(!html.contains("<script", Qt::CaseInsensitive));
        QVERIFY(!html.contains("src=", Qt::CaseInsensitive));

        // Every link is a jump inside the guide, to an anchor that exists.
        QSet<QString> anchors;
        for (const auto& m : QRegularExpression("<a name=\"([^\"]+)\"").globalMatch(html))
            anchors.insert(m.captured(1));
        int links = 0;
        for (const auto& m : QRegularExpression("href=\"([^\"]*)\"").globalMatch(html)) {
            const QString target = m.captured(1);
            QVERIFY2(target.startsWith('#') && anchors.contains(target.mid(1)), qPrintable(target));
            ++links;
        }
        QVERIFY(links >= 10);

        // The texts a user meets are quoted as the program shows them.
        for (const char* text : {"Find&nbsp; solution", "Next Iteration", "Accept A(i,j)", "Accept B(i)",
                                 "not all&nbsp; data are available", "Such file exists.", "data.vnx", "Ctrl+R"})
            QVERIFY2(html.contains(text), text);
    }
};

QTEST_MAIN(HelpWindowTest)
#include "help_window_qtest.moc"
