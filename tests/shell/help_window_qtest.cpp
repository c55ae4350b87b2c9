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

struct GuideFolder {
    TempDir dir;
    GuideFolder() { dir.write("user_guide.htm", "<html><body><p>Local guide text</p></body></html>"); }
    QString path() const { return QString::fromStdString(dir.path()); }
    QUrl guide() const { return QUrl::fromLocalFile(path() + "/user_guide.htm"); }
};

QUrl source() { return help_window()->browser()->source(); }
QString shown_text() { return help_window()->browser()->toPlainText(); }
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

    void freshWindowOnTheGuideIgnoresBack() {
        GuideFolder f;
        UserGuide_Click(f.path());
        FrmHelp* w = help_window();
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->windowTitle(), QString("User Guide"));
        QCOMPARE(w->parentWidget(), nullptr);
        QCOMPARE(source(), f.guide());
        QVERIFY(shown_text().contains("Local guide text"));
        click("cmdBack");
        click("cmdForward");
        QCOMPARE(source(), f.guide());
        QCOMPARE(QApplication::topLevelWidgets().size(), 1);
    }

    void getPaidThenBackReturnsToTheGuide() {
        GuideFolder f;
        UserGuide_Click(f.path());
        FrmHelp* w = help_window();
        GetPaid_Click();
        QCOMPARE(help_window(), w);
        QCOMPARE(w->windowTitle(), QString("Get Paid"));
        QCOMPARE(source(), QUrl(kGetPaidAddress));
        // The web page cannot be loaded here: the browser shows its own page, the program no message.
        QVERIFY(shown_text().contains("cannot be displayed"));
        QCOMPARE(QApplication::topLevelWidgets().size(), 1);

        click("cmdBack");
        QCOMPARE(source(), f.guide());
        QVERIFY(shown_text().contains("Local guide text"));
        QCOMPARE(w->windowTitle(), QString("Get Paid"));
        click("cmdForward");
        QCOMPARE(source(), QUrl(kGetPaidAddress));
    }

    void closingForgetsTheHistory() {
        GuideFolder f;
        UserGuide_Click(f.path());
        GetPaid_Click();
        FrmHelp* first = help_window();
        close_help_window();
        QCOMPARE(help_window(), nullptr);
        // Reopened before the old window is even deleted: a fresh window with an empty history.
        UserGuide_Click(f.path());
        QVERIFY(help_window() != first);
        QCOMPARE(help_window()->browser()->backwardHistoryCount(), 0);
    }

    void missingGuideShowsTheBrowsersOwnPage() {
        TempDir empty;
        UserGuide_Click(QString::fromStdString(empty.path()));
        QVERIFY(shown_text().contains("cannot be displayed"));
        QCOMPARE(QApplication::topLevelWidgets().size(), 1);
    }

    void shippedGuideLinksOnlyToItsOwnAnchors() {
        QFile f(QStringLiteral(VARNEX_SOURCE_DIR "/shell/user_guide.htm"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(f.readAll());
        QVERIFY(!html.contains("<script", Qt::CaseInsensitive) && !html.contains("src=", Qt::CaseInsensitive));
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
    }
};

QTEST_MAIN(HelpWindowTest)
#include "help_window_qtest.moc"
