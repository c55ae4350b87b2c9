#include "mainwindow/convergence_window.h"

#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QScatterSeries>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace varnex {

namespace {

const QColor kCurrent(31, 95, 191);
const QColor kZeroMark(200, 30, 30);
constexpr qsizetype kDotsUpTo = 40;

// Earlier runs in greys, the oldest lightest; `age` 1 is the run just before the current one.
QColor earlier_grey(std::size_t age) {
    const int level = 120 + 18 * static_cast<int>(age);
    return QColor(level, level, level);
}

// A step of 1, 2 or 5 times a power of ten that puts at most about eight ticks on 0..sweeps.
double sweep_tick(int sweeps) {
    double step = 1.0;
    while (sweeps / step > 8.0) {
        if (sweeps / (2.0 * step) <= 8.0) return 2.0 * step;
        if (sweeps / (5.0 * step) <= 8.0) return 5.0 * step;
        step *= 10.0;
    }
    return step;
}

// The end of the sweep axis for a run of `sweeps`: the next whole tick beyond it, so that the last
// sweep never sits on the frame and a growing run moves the axis only now and then rather than at
// every repaint.
int sweep_axis_end(int sweeps) {
    const double tick = sweep_tick(sweeps + 1);
    return static_cast<int>(std::ceil((sweeps + 0.5) / tick) * tick);
}

// Shows or hides the legend entry of a series of the chart.
void show_in_legend(QChart* chart, QAbstractSeries* series, bool on) {
    for (QLegendMarker* m : chart->legend()->markers(series)) m->setVisible(on);
}

QString sweeps_text(std::size_t n) { return n == 1 ? QStringLiteral("1 sweep") : QStringLiteral("%1 sweeps").arg(n); }

}  // namespace

ConvergenceWindow::ConvergenceWindow(ConvergenceHistory& history, QWidget* parent)
    : QWidget(parent, Qt::Window), history_(history) {
    setObjectName(QStringLiteral("frmConvergence"));
    // The window belongs to the main window: it neither keeps the program running on its own nor
    // outlives the main window's close.
    setAttribute(Qt::WA_QuitOnClose, false);
    if (parent) parent->installEventFilter(this);
    resize(720, 480);

    chart_ = new QChart;
    chart_->setObjectName(QStringLiteral("chtConvergence"));
    chart_->legend()->setAlignment(Qt::AlignBottom);
    chart_->setMargins(QMargins(6, 6, 6, 6));

    x_ = new QValueAxis(chart_);
    x_->setObjectName(QStringLiteral("axSweep"));
    x_->setTitleText(QStringLiteral("sweep"));
    x_->setLabelFormat(QStringLiteral("%d"));
    x_->setTickType(QValueAxis::TicksDynamic);
    x_->setTickAnchor(0.0);
    y_ = new QLogValueAxis(chart_);
    y_->setObjectName(QStringLiteral("axEr"));
    y_->setTitleText(QStringLiteral("Er (current accuracy)"));
    y_->setLabelFormat(QStringLiteral("%.0e"));
    y_->setMinorTickCount(0);
    chart_->addAxis(x_, Qt::AlignBottom);
    chart_->addAxis(y_, Qt::AlignLeft);

    for (std::size_t i = 0; i < kCurves; ++i) {
        auto* line = new QLineSeries(chart_);
        line->setObjectName(QStringLiteral("curve%1").arg(i));
        chart_->addSeries(line);
        line->attachAxis(x_);
        line->attachAxis(y_);
        lines_[i] = line;
    }
    auto marks = [this](const char* name, const QColor& color, qreal size) {
        auto* s = new QScatterSeries(chart_);
        s->setObjectName(QString::fromLatin1(name));
        s->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
        s->setMarkerSize(size);
        s->setColor(color);
        s->setBorderColor(color);
        chart_->addSeries(s);
        s->attachAxis(x_);
        s->attachAxis(y_);
        return s;
    };
    zeros_earlier_ = marks("zerosEarlier", earlier_grey(1), 8);
    zeros_current_ = marks("zerosCurrent", kZeroMark, 10);
    zeros_current_->setName(QStringLiteral("Er = 0, drawn at the axis floor"));
    for (QLegendMarker* m : chart_->legend()->markers()) m->setVisible(false);
    set_axes(LogRange{}, 1);

    view_ = new QChartView(chart_, this);
    view_->setObjectName(QStringLiteral("chvConvergence"));
    // The figures of the current run in a label of their own: a legend entry that changed at every
    // repaint would lay the whole chart out anew each time.
    lblRun_ = new QLabel(this);
    lblRun_->setObjectName(QStringLiteral("lblRun"));
    lblRun_->setContentsMargins(8, 2, 8, 4);
    lblRun_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(view_, 1);
    layout->addWidget(lblRun_);

    // A new plot width changes the buckets of the decimation: redraw once the layout has settled.
    connect(chart_, &QChart::plotAreaChanged, this, [this] {
        if (buckets() != drawn_buckets_) QTimer::singleShot(0, this, [this] { sync(); });
    });
    sync();
}

void ConvergenceWindow::before_repaint() {
    if (isVisible()) sync();
}

bool ConvergenceWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Close) close();
    return QWidget::eventFilter(watched, event);
}

void ConvergenceWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    sync();
}

int ConvergenceWindow::buckets() const {
    // One bucket per two pixel columns of the plot: its smallest and largest Er make the stroke
    // that those columns show, at half the points (and half the drawing) of one per column. In
    // steps of 16, so that a label a pixel wider or narrower does not redraw every curve.
    const int width = static_cast<int>(chart_->plotArea().width());
    return std::max(64, (width / 2 + 15) / 16 * 16);
}

void ConvergenceWindow::sync() {
    const QString system = QString::fromStdString(history_.system());
    if (system != drawn_system_) {
        setWindowTitle(QStringLiteral("Convergence \u2013 %1").arg(system));
        drawn_system_ = system;
    }
    const auto& runs = history_.runs();
    if (runs.empty()) return;
    const int b = buckets();
    const LogRange range = log_range(runs);
    const bool new_run = history_.runs_begun() != drawn_runs_begun_;
    const bool all = new_run || b != drawn_buckets_ || range.floor != drawn_range_.floor;
    if (!all && runs.back().er.size() == drawn_sweeps_ && runs.back().ending == drawn_ending_) return;
    drawn_buckets_ = b;

    int sweeps = 1;
    for (const ConvergenceRun& r : runs) sweeps = std::max(sweeps, static_cast<int>(r.er.size()));
    const int axis_end = sweep_axis_end(sweeps);
    if (all || range.top != drawn_range_.top || axis_end != static_cast<int>(x_->max())) set_axes(range, axis_end);
    drawn_range_ = range;

    QList<QPointF> zeros;
    if (all) {
        // Every curve anew: the earlier runs in grey, unused curves empty.
        QList<QPointF> earlier_zeros;
        for (std::size_t i = 0; i + 1 < kCurves; ++i) {
            if (i + 1 < runs.size()) {
                draw_run(i, false, earlier_zeros, true);
            } else {
                lines_[i]->clear();
                show_in_legend(chart_, lines_[i], false);
            }
        }
        zeros_earlier_->replace(earlier_zeros);
        drawn_runs_begun_ = history_.runs_begun();
        chart_->setTitle(QStringLiteral("Er per sweep \u2013 %1").arg(QString::fromStdString(runs.back().system)));
    }
    draw_run(runs.size() - 1, true, zeros, all);
    zeros_current_->replace(zeros);
    if (zeros.isEmpty() == zeros_in_legend_) {
        zeros_in_legend_ = !zeros.isEmpty();
        show_in_legend(chart_, zeros_current_, zeros_in_legend_);
    }
    const ConvergenceRun& run = runs.back();
    QString figures = QStringLiteral("%1: %2, last Er %3")
                          .arg(QString::fromStdString(run.system), sweeps_text(run.er.size()))
                          .arg(run.er.back(), 0, 'g', 7);
    const auto zero_sweeps = std::count_if(run.er.begin(), run.er.end(), [](float er) { return !(er > 0.0f); });
    if (zero_sweeps > 0) figures += QStringLiteral(", Er = 0 after %1").arg(sweeps_text(zero_sweeps));
    if (!run.ending.empty()) figures += QStringLiteral("; last command: %1").arg(QString::fromStdString(run.ending));
    lblRun_->setText(figures);
    drawn_sweeps_ = run.er.size();
    drawn_ending_ = run.ending;
}

void ConvergenceWindow::draw_run(std::size_t i, bool current, QList<QPointF>& zeros, bool restyle) {
    const ConvergenceRun& run = history_.runs()[i];
    const double floor = drawn_range_.floor;
    QList<QPointF> points;
    const std::vector<CurvePoint> kept = decimate(run.er, drawn_buckets_);
    points.reserve(static_cast<qsizetype>(kept.size()));
    for (const CurvePoint& p : kept) {
        const double y = p.at_floor() ? floor : static_cast<double>(p.er);
        points.append(QPointF(p.sweep, y));
        if (p.at_floor()) zeros.append(QPointF(p.sweep, floor));
    }
    // The current run draws in the last curve, so it lies above the greys.
    QLineSeries* line = current ? lines_[kCurves - 1] : lines_[i];
    // A run of a few sweeps shows each one as a dot: a single sweep makes no line at all.
    line->setPointsVisible(points.size() <= kDotsUpTo);
    line->replace(points);
    if (!restyle) return;
    const QString name = QString::fromStdString(run.system);
    if (current) {
        line->setPen(QPen(kCurrent, 2));
        line->setName(QStringLiteral("current run: %1").arg(name));
    } else {
        line->setPen(QPen(earlier_grey(history_.runs().size() - 1 - i), 1));
        line->setName(QStringLiteral("%1, %2").arg(name, sweeps_text(run.er.size())));
    }
    show_in_legend(chart_, line, true);
}

void ConvergenceWindow::set_axes(const LogRange& range, int sweeps) {
    // The axis lays out a label for every tick of its range at each change: a range that grows
    // takes its wider interval first, one that shrinks its narrower range first, so that no step in
    // between has thousands of ticks.
    const double tick = sweep_tick(sweeps);
    if (tick > x_->tickInterval()) {
        x_->setTickInterval(tick);
        x_->setRange(0, sweeps);
    } else {
        x_->setRange(0, sweeps);
        x_->setTickInterval(tick);
    }
    // At most about ten labels on the log axis: one per decade, or per several decades.
    const double decades = std::log10(range.top / range.floor);
    const double step = std::max(1.0, std::ceil(decades / 10.0));
    y_->setBase(std::pow(10.0, step));
    // A hair wider than the decades, so that rounding cannot drop the labels at either end.
    y_->setRange(range.floor * (1.0 - 1e-9), range.top * (1.0 + 1e-9));
}

int ConvergenceWindow::currentPointCount() const { return static_cast<int>(lines_[kCurves - 1]->count()); }

int ConvergenceWindow::zeroMarkCount() const {
    return static_cast<int>(zeros_current_->count() + zeros_earlier_->count());
}

}  // namespace varnex
