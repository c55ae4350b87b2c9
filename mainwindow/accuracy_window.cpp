#include "mainwindow/accuracy_window.h"

#include <QEvent>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <charconv>

namespace varnex {

namespace {

QString cell(const std::string& text) { return QString::fromStdString(text).toHtmlEscaped(); }

// A single-precision value in the shortest text that reads back to it.
QString single_text(float v) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return QString::fromLatin1(buf, static_cast<int>(res.ptr - buf));
}

QString double_text(double v) {
    char buf[40];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17);
    return QString::fromLatin1(buf, static_cast<int>(res.ptr - buf));
}

QString farthest_html(const AccuracyReport& r) {
    if (!r.judged || r.judgement.farthest.empty()) return {};
    QString html = QStringLiteral(
        "<h3>The components of x farthest from the reference</h3>"
        "<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\">"
        "<tr><th>i</th><th>x(i)</th><th>reference</th><th>relative error</th></tr>");
    for (const ComponentError& c : r.judgement.farthest) {
        html += QStringLiteral(
                    "<tr><td align=\"right\">%1</td><td align=\"right\">%2</td><td align=\"right\">%3</td>"
                    "<td align=\"right\">%4</td></tr>")
                    .arg(c.i)
                    .arg(single_text(c.x), double_text(c.reference), cell(g3(c.relative)));
    }
    return html + QStringLiteral("</table>");
}

}  // namespace

QString accuracy_html(const AccuracyReport* report) {
    if (!report) return QStringLiteral("<p>No report: run Find  solution or Next Iteration.</p>");
    QString html = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\">");
    for (const ReportItem& item : report_items(*report))
        html +=
            QStringLiteral("<tr><th align=\"left\">%1</th><td>%2</td></tr>").arg(cell(item.label), cell(item.value));
    html += QStringLiteral("</table>");
    if (report->pending) html += QStringLiteral("<p>Computing the accuracy\u2026</p>");
    return html + farthest_html(*report);
}

AccuracyWindow::AccuracyWindow(QWidget* parent) : QWidget(parent, Qt::Tool) {
    setObjectName(QStringLiteral("frmAccuracy"));
    setWindowTitle(QStringLiteral("Accuracy"));
    setAttribute(Qt::WA_QuitOnClose, false);
    if (parent) parent->installEventFilter(this);
    view_ = new QTextBrowser(this);
    view_->setObjectName(QStringLiteral("txtAccuracy"));
    view_->setOpenLinks(false);
    view_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(view_);
    resize(fontMetrics().averageCharWidth() * 110, fontMetrics().height() * 46);
}

void AccuracyWindow::show_report(const AccuracyReport* report, const QString& system) {
    setWindowTitle(system.isEmpty() ? QStringLiteral("Accuracy") : QStringLiteral("Accuracy \u2013 %1").arg(system));
    view_->setHtml(accuracy_html(report));
}

bool AccuracyWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Close) close();
    return QWidget::eventFilter(watched, event);
}

}  // namespace varnex
