// The help window: one modeless instance, its history through Back and Forward, the captions set
// by the two menu commands, pages that cannot be loaded, and the shipped user guide.
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include "shell/help_window.h"
#include "support/fakes.h"

using namespace varnex;

namespace {

QUrl source() { return help_window()->browser()->source(); }
QString shown_text() { return help_window()->browser()->toPlainText(); }
void click(const char* name) { QTest::mouseClick(help_window()->findChild<QPushButton*>(name), Qt::LeftButton); }

}  // namespace

class HelpWindowTest : public QObject {
    Q_OBJECT
    test::TempDir dir_;
    QList<QUrl> opened_;
    QString folder() const { return QString::fromStdString(dir_.path()); }
    QUrl guide() const { return QUrl::fromLocalFile(folder() + "/user_guide.htm"); }

  public slots:
    // The desktop's browser, as QDesktopServices hands it an address.
    void browserOpened(const QUrl& url) { opened_ << url; }

  private slots:
    // Any warning fails, except the offscreen platform's note that it cannot raise windows.
    void init() { QTest::failOnWarning(QRegularExpression("^(?!This plugin does not support raise)")); }
    void initTestCase() { dir_.write("user_guide.htm", "<html><body><p>Local guide text</p></body></html>"); }
    void cleanup() {
        close_help_window();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void historyLivesAsLongAsTheOneWindow() {
        UserGuide_Click(folder());
        FrmHelp* w = help_window();
        QCOMPARE(w->windowTitle(), QString("User Guide"));
        click("cmdBack");  // nothing before the first page
        QVERIFY(source() == guide() && shown_text().contains("Local guide text"));

        GetPaid_Click();
        QCOMPARE(help_window(), w);
        // The web address on a page of the window's own, with the button that hands it on.
        QVERIFY(shown_text().contains(kGetPaidAddress) && shown_text().contains("Open in web browser"));
        click("cmdBack");
        QCOMPARE(source(), guide());
        QCOMPARE(w->windowTitle(), QString("Get Paid"));
        click("cmdForward");
        QCOMPARE(source(), QUrl(kGetPaidAddress));
        QCOMPARE(QApplication::topLevelWidgets().size(), 1);

        // Closed and reopened before the old window is even deleted, on a folder without the guide: a
        // fresh window with an empty history and the browser's page for a missing file.
        close_help_window();
        test::TempDir empty;
        UserGuide_Click(QString::fromStdString(empty.path()));
        QVERIFY(help_window() != w);
        QCOMPARE(help_window()->browser()->backwardHistoryCount(), 0);
        QVERIFY(shown_text().contains("cannot be displayed"));
    }

    void getPaidButtonOpensTheDesktopBrowserAndKeepsThePage() {
        QDesktopServices::setUrlHandler("https", this, "browserOpened");
        UserGuide_Click(folder());
        GetPaid_Click();
        QTextBrowser* b = help_window()->browser();
        const QRegularExpression link("href=\"(open-in-browser:[^\"]+)\"");
        const QString target = link.match(b->toHtml()).captured(1);
        QVERIFY(!target.isEmpty());
        b->setSource(QUrl(target));  // as a click on the link does
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(opened_, QList<QUrl>{QUrl(kGetPaidAddress)});
        QCOMPARE(source(), QUrl(kGetPaidAddress));
        QCOMPARE(b->backwardHistoryCount(), 1);
        QCOMPARE(b->forwardHistoryCount(), 0);
        click("cmdBack");
        QCOMPARE(source(), guide());
    }

    void shippedGuideLinksOnlyToItsOwnAnchors() {
        QFile f(QStringLiteral(VARNEX_SOURCE_DIR "/shell/user_guide.htm"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(f.readAll());
        QSet<QString> anchors;
        for (const auto& m : QRegularExpression("<a name=\"([^\"]+)\"").globalMatch(html))
            anchors.insert(m.captured(1));
        int links = 0;
        for (const auto& m : QRegularExpression("href=\"([^\"]*)\"").globalMatch(html))
            QVERIFY2(++links && m.captured(1).startsWith('#') && anchors.contains(m.captured(1).mid(1)),
                     qPrintable(m.captured(1)));
        QVERIFY(links >= 10);
    }
};

QTEST_MAIN(HelpWindowTest)
#include "help_window_qtest.moc"
