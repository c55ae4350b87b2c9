#include "mainwindow/convergence_window.h"

#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QEvent>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPushButton>
#include <QScatterSeries>
#include <QTimer>
#include <QToolTip>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "mainwindow/guarded.h"
#include "mainwindow/zoom_chart_view.h"

namespace varnex {

namespace {

const QColor kCurrent(31, 95, 191);
const QColor kZeroMark(200, 30, 30);
const QColor kEarlierZeroMark(150, 150, 150);
const QColor kEps(20, 140, 60);
constexpr qsizetype kDotsUpTo = 40;
// The desired accuracy line runs past the longest run the counter allows.
constexpr double kEpsLineEnd = 65536.0;

// Earlier runs in light hues, one per run for as long as it is shown: orange, violet, teal, pink,
// olive. Five runs before the current one are kept, so no two shown runs share a hue.
QColor earlier_hue(std::uint64_t serial) {
    static const std::array<QColor, ConvergenceHistory::kEarlierRuns> hues{
        QColor(240, 150, 60), QColor(165, 130, 215), QColor(80, 185, 190), QColor(230, 120, 165),
        QColor(160, 175, 70)};
    return hues[serial % hues.size()];
}

// At most about eight ticks on 0..sweeps.
double sweep_tick(int sweeps) { return nice_step(sweeps, 8); }

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

// What the legend cannot hold: the system's file, the sweeps and how the run ended.
QString run_tip(const ConvergenceRun& run) {
    QString tip = QStringLiteral("%1: %2").arg(QString::fromStdString(run.system), sweeps_text(run.er.size()));
    if (!run.ending.empty()) tip += QStringLiteral(", ") + QString::fromStdString(run.ending);
    return tip;
}

}  // namespace

ConvergenceWindow::ConvergenceWindow(ConvergenceHistory& history, QWidget* parent)
    : QWidget(parent, Qt::Tool), history_(history) {
    setObjectName(QStringLiteral("frmConvergence"));
    // A tool window of the main window: it stays above it, neither keeps the program running on its
    // own nor outlives the main window's close.
    setAttribute(Qt::WA_QuitOnClose, false);
    if (parent) parent->installEventFilter(this);
    resize(720, 480);
    build_chart();

    auto* view = new ZoomChartView(chart_, this);
    view_ = view;
    view_->setObjectName(QStringLiteral("chvConvergence"));
    connect(view, &ZoomChartView::zoomed, this, guard([this] { zoomed_ = true; }));
    connect(view, &ZoomChartView::resetRequested, this, guard([this] { unzoom(); }));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(view_, 1);
    layout->addLayout(build_bar());

    // A new plot width changes the buckets of the decimation: redraw once the layout has settled.
    connect(chart_, &QChart::plotAreaChanged, this, guard([this] {
                if (buckets() != drawn_buckets_) QTimer::singleShot(0, this, guard([this] { sync(); }));
            }));
    sync();
}

void ConvergenceWindow::build_chart() {
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

    auto add = [this](QXYSeries* s, const char* name) {
        s->setObjectName(QString::fromLatin1(name));
        chart_->addSeries(s);
        s->attachAxis(x_);
        s->attachAxis(y_);
    };
    for (std::size_t i = 0; i < kCurves; ++i) {
        lines_[i] = new QLineSeries(chart_);
        add(lines_[i], QStringLiteral("curve%1").arg(i).toLatin1().constData());
    }
    auto marks = [&](const char* name, const QColor& color, qreal size) {
        auto* s = new QScatterSeries(chart_);
        s->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
        s->setMarkerSize(size);
        s->setColor(color);
        s->setBorderColor(color);
        add(s, name);
        return s;
    };
    zeros_earlier_ = marks("zerosEarlier", kEarlierZeroMark, 8);
    zeros_current_ = marks("zerosCurrent", kZeroMark, 10);
    zeros_current_->setName(QStringLiteral("Er = 0"));
    eps_line_ = new QLineSeries(chart_);
    eps_line_->setPen(QPen(kEps, 1.5, Qt::DashLine));
    add(eps_line_, "epsLine");
    for (QLegendMarker* m : chart_->legend()->markers()) m->setVisible(false);
    connect_tips();
    set_axes(LogRange{}, 1);
}

void ConvergenceWindow::connect_tips() {
    // The legend holds short names; the pointer on a curve or on its legend entry shows the rest.
    for (std::size_t i = 0; i < kCurves; ++i) {
        auto tip = [this, i] { QToolTip::showText(QCursor::pos(), tips_[i], view_); };
        connect(lines_[i], &QLineSeries::hovered, this, guard([tip](const QPointF&, bool on) {
                    if (on) tip();
                }));
        for (QLegendMarker* m : chart_->legend()->markers(lines_[i]))
            connect(m, &QLegendMarker::hovered, this, guard([tip](bool on) {
                        if (on) tip();
                    }));
    }
}

QHBoxLayout* ConvergenceWindow::build_bar() {
    // The figures of the current run in a label of their own: a legend entry that changed at every
    // repaint would lay the whole chart out anew each time.
    lblRun_ = new QLabel(this);
    lblRun_->setObjectName(QStringLiteral("lblRun"));
    lblRun_->setContentsMargins(8, 2, 8, 4);
    lblRun_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cmdAllRuns_ = new QPushButton(QStringLiteral("All runs"), this);
    cmdAllRuns_->setObjectName(QStringLiteral("cmdAllRuns"));
    cmdAllRuns_->setCheckable(true);
    cmdAllRuns_->setShortcut(QKeySequence(Qt::Key_A));
    cmdAllRuns_->setToolTip(
        QStringLiteral("Show every run in full (A); else the axis fits the current run.\n"
                       "Drag a box or turn the wheel to zoom, double-click to fit again."));
    connect(cmdAllRuns_, &QPushButton::toggled, this, guard([this](bool all) { showAllRuns(all); }));
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(0, 0, 6, 4);
    bar->addWidget(lblRun_, 1);
    bar->addWidget(cmdAllRuns_);
    return bar;
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
    guarded([this] { sync(); });
}

int ConvergenceWindow::buckets() const {
    // One bucket per two pixel columns of the plot: its smallest and largest Er make the stroke
    // that those columns show, at half the points (and half the drawing) of one per column. In
    // steps of 16, so that a label a pixel wider or narrower does not redraw every curve.
    const int width = static_cast<int>(chart_->plotArea().width());
    return std::max(64, (width / 2 + 15) / 16 * 16);
}

int ConvergenceWindow::fitted_sweeps() const {
    const auto& runs = history_.runs();
    if (runs.empty()) return 1;
    std::size_t sweeps = runs.back().er.size();
    if (show_all_)
        for (const ConvergenceRun& r : runs) sweeps = std::max(sweeps, r.er.size());
    return std::max(1, static_cast<int>(sweeps));
}

void ConvergenceWindow::showAllRuns(bool all) {
    if (cmdAllRuns_->isChecked() != all) cmdAllRuns_->setChecked(all);  // comes back here through toggled
    if (show_all_ == all) return;
    show_all_ = all;
    unzoom();
}

void ConvergenceWindow::unzoom() {
    zoomed_ = false;
    chart_->zoomReset();
    drawn_runs_begun_ = 0;  // every curve and both axes anew
    sync();
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
    // Earlier runs are clipped at the end of the axis: they are drawn again when it moves.
    const int axis_end = sweep_axis_end(fitted_sweeps());
    const bool all = new_run || b != drawn_buckets_ || range.floor != drawn_range_.floor || axis_end != drawn_axis_end_;
    if (!all && runs.back().er.size() == drawn_sweeps_ && runs.back().ending == drawn_ending_) return;
    drawn_buckets_ = b;
    drawn_axis_end_ = axis_end;
    if (new_run && zoomed_) {
        // A new run shows whole: the zoom of the last one means nothing for it.
        zoomed_ = false;
        chart_->zoomReset();
    }
    if (!zoomed_ && (all || range.top != drawn_range_.top)) set_axes(range, axis_end);
    drawn_range_ = range;

    QList<QPointF> zeros;
    if (all) {
        // Every curve anew: the earlier runs in their hues, unused curves empty.
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
    draw_eps();
    const ConvergenceRun& run = runs.back();
    QString figures = QStringLiteral("%1: %2, last Er %3")
                          .arg(QString::fromStdString(run.system), sweeps_text(run.er.size()))
                          .arg(run.er.back(), 0, 'g', 7);
    const auto zero_sweeps = std::count_if(run.er.begin(), run.er.end(), [](float er) { return !(er > 0.0f); });
    if (zero_sweeps > 0) figures += QStringLiteral(", Er = 0 after %1").arg(sweeps_text(zero_sweeps));
    if (!run.ending.empty()) figures += QStringLiteral("; last command: %1").arg(QString::fromStdString(run.ending));
    lblRun_->setText(figures);
    tips_[kCurves - 1] = run_tip(run);
    drawn_sweeps_ = run.er.size();
    drawn_ending_ = run.ending;
}

void ConvergenceWindow::draw_eps() {
    const float eps = history_.runs().back().eps;
    const bool shown = eps > 0.0f && std::isfinite(eps);
    if (shown && eps_line_->count() == 2 && eps_line_->at(0).y() == eps) return;
    if (shown) {
        eps_line_->replace(QList<QPointF>{QPointF(0.0, eps), QPointF(kEpsLineEnd, eps)});
        eps_line_->setName(QStringLiteral("desired accuracy %1").arg(eps, 0, 'g', 7));
    } else {
        eps_line_->clear();
    }
    show_in_legend(chart_, eps_line_, shown);
}

void ConvergenceWindow::draw_run(std::size_t i, bool current, QList<QPointF>& zeros, bool restyle) {
    const ConvergenceRun& run = history_.runs()[i];
    const double floor = drawn_range_.floor;
    QList<QPointF> points;
    // An earlier run longer than the axis is cut one sweep past its end, so that its line reaches
    // the edge and the sweeps in view keep all their detail.
    const std::size_t count = current || show_all_ ? run.er.size() : static_cast<std::size_t>(drawn_axis_end_) + 1;
    const std::vector<CurvePoint> kept = decimate(run.er, drawn_buckets_, count);
    points.reserve(static_cast<qsizetype>(kept.size()));
    for (const CurvePoint& p : kept) {
        const double y = p.at_floor() ? floor : static_cast<double>(p.er);
        points.append(QPointF(p.sweep, y));
        if (p.at_floor()) zeros.append(QPointF(p.sweep, floor));
    }
    // The current run draws in the last curve, so it lies above the others.
    const std::size_t slot = current ? kCurves - 1 : i;
    QLineSeries* line = lines_[slot];
    // A run of a few sweeps shows each one as a dot: a single sweep makes no line at all.
    line->setPointsVisible(points.size() <= kDotsUpTo);
    line->replace(points);
    if (!restyle) return;
    // Short names, so that the legend is never cut; the tooltip tells the rest.
    tips_[slot] = run_tip(run);
    if (current) {
        line->setPen(QPen(kCurrent, 2));
        line->setName(QStringLiteral("run %1 (current)").arg(run.serial));
    } else {
        line->setPen(QPen(earlier_hue(run.serial), 1.5));
        line->setName(QStringLiteral("run %1").arg(run.serial));
    }
    show_in_legend(chart_, line, true);
}

void ConvergenceWindow::set_axes(const LogRange& range, int sweeps) {
    set_ticked_range(x_, 0, sweeps, sweep_tick(sweeps));
    // At most about ten labels on the log axis: one per decade, or per several decades.
    const double decades = std::log10(range.top / range.floor);
    const double step = std::max(1.0, std::ceil(decades / 10.0));
    y_->setBase(std::pow(10.0, step));
    // A hair wider than the decades, so that rounding cannot drop the labels at either end.
    y_->setRange(range.floor * (1.0 - 1e-9), range.top * (1.0 + 1e-9));
}

}  // namespace varnex
