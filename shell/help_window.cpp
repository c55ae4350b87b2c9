#include "shell/help_window.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QPointer>
#include <QPushButton>
#include <QTextDocument>
#include <cstring>

#include "mainwindow/guarded.h"

namespace varnex {

namespace {

// The one help window of the program; QPointer turns null when a closed window deletes itself.
QPointer<FrmHelp> g_help;

// Places in twips (left, top, width, height); 15 twips make one pixel at 96 dots per inch.
QRect twips(int left, int top, int width, int height) { return {left / 15, top / 15, width / 15, height / 15}; }

QString cannot_load_page(const QUrl& url) {
    return QStringLiteral(
               "<html><head><title>Page not available</title></head><body>"
               "<h3>This page cannot be displayed</h3>"
               "<p>The address could not be opened here:</p><p><tt>%1</tt></p>"
               "<p>A page on the web can be opened in your web browser.</p>"
               "</body></html>")
        .arg(url.toString().toHtmlEscaped());
}

QString web_page(const QUrl& url) {
    const QString address = url.toString().toHtmlEscaped();
    const QString open = QString::fromLatin1(kOpenInBrowserScheme) + QLatin1Char(':') + url.toString();
    return QStringLiteral(
               "<html><head><title>A page on the web</title></head><body>"
               "<h3>A page on the web</h3>"
               "<p>This page lies on the web:</p><p><tt>%1</tt></p>"
               "<p>This window shows the program's own pages only. Your web browser can show it:</p>"
               "<table cellpadding=\"8\" cellspacing=\"0\" border=\"1\" bgcolor=\"#e8e8e8\"><tr><td>"
               "<a href=\"%2\" style=\"text-decoration: none\"><b>Open in web browser</b></a>"
               "</td></tr></table></body></html>")
        .arg(address, open.toHtmlEscaped());
}

FrmHelp* show_help_window() {
    if (!g_help) g_help = new FrmHelp;
    if (g_help->isMinimized()) g_help->showNormal();
    g_help->show();
    g_help->raise();
    g_help->activateWindow();
    return g_help;
}

}  // namespace

HelpBrowser::HelpBrowser(QWidget* parent) : QTextBrowser(parent) {
    // Links are followed inside the window; nothing is handed to other programs.
    setOpenLinks(true);
    setOpenExternalLinks(false);
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
    QVariant data = QTextBrowser::loadResource(type, name);
    if (type != QTextDocument::HtmlResource) return data;
    if (name.scheme() == QLatin1String("http") || name.scheme() == QLatin1String("https")) return web_page(name);
    // An empty document would make the browser warn and show nothing; show why instead.
    if (!data.isValid() || data.toByteArray().isEmpty()) return cannot_load_page(name);
    return data;
}

void HelpBrowser::doSetSource(const QUrl& name, QTextDocument::ResourceType type) {
    if (name.scheme() != QLatin1String(kOpenInBrowserScheme)) return QTextBrowser::doSetSource(name, type);
    const QUrl web(name.toString().mid(static_cast<qsizetype>(std::strlen(kOpenInBrowserScheme)) + 1));
    if (web.isValid()) QDesktopServices::openUrl(web);
}

FrmHelp::FrmHelp() : QWidget(nullptr, Qt::Window) {
    setObjectName("frmHelp");
    setWindowTitle("Help");
    setAttribute(Qt::WA_DeleteOnClose);
    // A fixed layout: no resizing and no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(8550 / 15, 7560 / 15);

    WebBrowser1 = new HelpBrowser(this);
    WebBrowser1->setObjectName("WebBrowser1");
    WebBrowser1->setGeometry(twips(240, 600, 8055, 6255));

    cmdBack = new QPushButton("Back", this);
    cmdBack->setObjectName("cmdBack");
    cmdBack->setGeometry(twips(1080, 6960, 1215, 495));

    cmdForward = new QPushButton("Forward", this);
    cmdForward->setObjectName("cmdForward");
    cmdForward->setGeometry(twips(2640, 6960, 1215, 495));

    connect(cmdBack, &QPushButton::clicked, this, &FrmHelp::cmdBack_Click);
    connect(cmdForward, &QPushButton::clicked, this, &FrmHelp::cmdForward_Click);
}

void FrmHelp::closeEvent(QCloseEvent* event) {
    // The window is deleted later; the next menu command must already load a fresh one.
    if (g_help == this) g_help = nullptr;
    QWidget::closeEvent(event);
}

void FrmHelp::navigate(const QUrl& url) { WebBrowser1->setSource(url, QTextDocument::HtmlResource); }

// QTextBrowser does nothing when there is no page behind or ahead, which is what these buttons need.
// A page that cannot be loaded for want of memory stays where it was.
void FrmHelp::cmdBack_Click() {
    guarded([this] { WebBrowser1->backward(); });
}

void FrmHelp::cmdForward_Click() {
    guarded([this] { WebBrowser1->forward(); });
}

void UserGuide_Click(const QString& app_folder) {
    FrmHelp* w = show_help_window();
    w->setWindowTitle("User Guide");
    // The guide lies beside the program; cleanPath folds the double slash of a root folder.
    w->navigate(QUrl::fromLocalFile(QDir::cleanPath(app_folder + "/user_guide.htm")));
}

void GetPaid_Click() {
    FrmHelp* w = show_help_window();
    w->setWindowTitle("Get Paid");
    w->navigate(QUrl(QString::fromLatin1(kGetPaidAddress)));
}

void close_help_window() {
    if (g_help) g_help->close();
}

FrmHelp* help_window() { return g_help; }

}  // namespace varnex
