#include "mainwindow/solution_window.h"

#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QLabel>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "mainwindow/convergence_history.h"
#include "mainwindow/guarded.h"
#include "mainwindow/zoom_chart_view.h"

namespace varnex {

namespace {

// Groups of components a curve is reduced to: about one per pixel column of a wide window.
constexpr int kBuckets = 1024;
// Curves of at most this many points show each point as a dot.
constexpr qsizetype kDotsUpTo = 60;

QList<QPointF> curve(const std::vector<float>& v) {
    QList<QPointF> points;
    for (const CurvePoint& p : decimate(v, kBuckets)) points.append(QPointF(p.sweep, p.er));
    return points;
}

void fit_range(QValueAxis* axis, double lo, double hi) {
    if (!(lo <= hi)) lo = -1.0, hi = 1.0;
    const double pad = hi > lo ? (hi - lo) * 0.05 : std::max(1.0, std::fabs(lo) * 0.05);
    axis->setRange(lo - pad, hi + pad);
    axis->applyNiceNumbers();
}

// The axis of i from 1 to n.
void set_i_range(QValueAxis* axis, double n) {
    set_ticked_range(axis, n > 1 ? 1.0 : 0.0, n > 1 ? n : 2.0, nice_step(n, 8));
}

ZoomChartView* chart_view(QChart* chart, const char* name, QWidget* parent) {
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    auto* view = new ZoomChartView(chart, parent);
    view->setObjectName(QString::fromLatin1(name));
    view->setRenderHint(QPainter::Antialiasing, false);
    return view;
}

QLineSeries* series(QChart* chart, const QString& name, const QColor& colour, Qt::PenStyle style) {
    auto* s = new QLineSeries(chart);
    s->setName(name);
    s->setPen(QPen(colour, 1.5, style));
    chart->addSeries(s);
    return s;
}

}  // namespace

SolutionWindow::SolutionWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmSolution"));
    setWindowTitle(QStringLiteral("Solution"));
    resize(720, 600);

    values_ = new QChart;
    x_line_ = series(values_, QStringLiteral("x(i)"), QColor(31, 95, 191), Qt::SolidLine);
    ref_line_ = series(values_, QStringLiteral("accurate reference x\u0302(i)"), QColor(230, 120, 20), Qt::DashLine);
    i_axis_ = new QValueAxis(values_);
    i_axis_->setTitleText(QStringLiteral("i"));
    i_axis_->setLabelFormat(QStringLiteral("%d"));
    i_axis_->setTickType(QValueAxis::TicksDynamic);
    i_axis_->setTickAnchor(0.0);
    x_axis_ = new QValueAxis(values_);
    x_axis_->setTitleText(QStringLiteral("value"));
    values_->addAxis(i_axis_, Qt::AlignBottom);
    values_->addAxis(x_axis_, Qt::AlignLeft);
    for (QLineSeries* s : {x_line_, ref_line_}) s->attachAxis(i_axis_), s->attachAxis(x_axis_);

    errors_ = new QChart;
    err_line_ = series(errors_, QStringLiteral("|x(i) \u2212 x\u0302(i)|"), QColor(200, 30, 30), Qt::SolidLine);
    ei_axis_ = new QValueAxis(errors_);
    ei_axis_->setTitleText(QStringLiteral("i"));
    ei_axis_->setLabelFormat(QStringLiteral("%d"));
    ei_axis_->setTickType(QValueAxis::TicksDynamic);
    ei_axis_->setTickAnchor(0.0);
    e_axis_ = new QLogValueAxis(errors_);
    e_axis_->setTitleText(QStringLiteral("error"));
    e_axis_->setLabelFormat(QStringLiteral("%.0e"));
    e_axis_->setMinorTickCount(0);
    errors_->addAxis(ei_axis_, Qt::AlignBottom);
    errors_->addAxis(e_axis_, Qt::AlignLeft);
    err_line_->attachAxis(ei_axis_);
    err_line_->attachAxis(e_axis_);

    lblInfo_ = new QLabel(this);
    lblInfo_->setObjectName(QStringLiteral("lblInfo"));
    lblInfo_->setContentsMargins(8, 2, 8, 2);
    lblInfo_->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 4);
    layout->setSpacing(0);
    ZoomChartView* values_view = chart_view(values_, "chvSolution", this);
    ZoomChartView* errors_view = chart_view(errors_, "chvError", this);
    errors_view_ = errors_view;
    layout->addWidget(values_view, 3);
    layout->addWidget(errors_view_, 2);
    // A box or the wheel zooms either chart; a double-click fits both again.
    for (ZoomChartView* v : {values_view, errors_view})
        connect(v, &ZoomChartView::resetRequested, this, guard([this] {
                    values_->zoomReset();
                    errors_->zoomReset();
                    draw();
                }));
    layout->addWidget(lblInfo_);
    draw();
}

void SolutionWindow::set_solution(std::vector<float> x, std::optional<std::vector<double>> reference) {
    x_ = std::move(x);
    reference_ = std::move(reference);
    if (reference_ && reference_->size() != x_.size()) reference_.reset();
    stale_ = true;
    if (isVisible()) draw();
}

void SolutionWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (stale_) guarded([this] { draw(); });
}

void SolutionWindow::draw() {
    stale_ = false;
    const QList<QPointF> xs = curve(x_);
    x_line_->replace(xs);
    x_line_->setPointsVisible(xs.size() <= kDotsUpTo);
    double lo = INFINITY, hi = -INFINITY;
    for (const QPointF& p : xs) lo = std::min(lo, p.y()), hi = std::max(hi, p.y());
    QList<QPointF> refs;
    if (reference_) {
        const std::vector<float> r(reference_->begin(), reference_->end());
        refs = curve(r);
        for (const QPointF& p : refs) lo = std::min(lo, p.y()), hi = std::max(hi, p.y());
    }
    ref_line_->replace(refs);
    ref_line_->setVisible(reference_.has_value());
    const double n = static_cast<double>(std::max<std::size_t>(x_.size(), 1));
    set_i_range(i_axis_, n);
    fit_range(x_axis_, lo, hi);
    const auto skipped = std::count_if(x_.begin(), x_.end(), [](float v) { return !std::isfinite(v); });
    QString info = x_.empty() ? QStringLiteral("No solution yet.") : QStringLiteral("%1 components").arg(x_.size());
    if (skipped > 0) info += QStringLiteral("; %1 not a number, left out").arg(skipped);
    if (!reference_ && !x_.empty()) info += QStringLiteral("; no accurate reference known for this solution");
    lblInfo_->setText(info);
    draw_error();
}

void SolutionWindow::draw_error() {
    errors_view_->setVisible(reference_.has_value());
    if (!reference_) {
        err_line_->clear();
        return;
    }
    // Components where x equals the reference sit at the axis floor, a decade below the smallest error.
    std::vector<float> err(x_.size());
    float smallest = 0.0f, largest = 0.0f;
    for (std::size_t k = 0; k < x_.size(); ++k) {
        err[k] = static_cast<float>(std::fabs(static_cast<double>(x_[k]) - (*reference_)[k]));
        if (err[k] > 0.0f && std::isfinite(err[k])) {
            if (smallest == 0.0f || err[k] < smallest) smallest = err[k];
            largest = std::max(largest, err[k]);
        }
    }
    const double floor = smallest > 0.0f ? std::pow(10.0, std::floor(std::log10(smallest)) - 1.0) : 1e-8;
    const double top = largest > 0.0f ? std::pow(10.0, std::ceil(std::log10(largest))) : floor * 10.0;
    for (float& e : err)
        if (e == 0.0f) e = static_cast<float>(floor);
    const QList<QPointF> points = curve(err);
    err_line_->replace(points);
    err_line_->setPointsVisible(points.size() <= kDotsUpTo);
    set_i_range(ei_axis_, static_cast<double>(std::max<std::size_t>(x_.size(), 1)));
    e_axis_->setRange(floor, std::max(top, floor * 10.0));
}

}  // namespace varnex
