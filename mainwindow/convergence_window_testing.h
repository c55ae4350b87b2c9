#pragma once
// What the convergence window has drawn, read by tests from its series and axes.

#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>

#include "mainwindow/convergence_window.h"

namespace varnex {

struct ConvergenceWindowProbe {
    const ConvergenceWindow& w;
    /// The points the current curve shows (after decimation).
    int current_points() const { return static_cast<int>(w.lines_[ConvergenceWindow::kCurves - 1]->count()); }
    /// The points marked as Er = 0 on all curves.
    int zero_marks() const { return static_cast<int>(w.zeros_current_->count() + w.zeros_earlier_->count()); }
    /// The last sweep the axis shows.
    double sweep_axis_max() const { return w.x_->max(); }
    /// The pen colour and the points of curve i (the current run is the last).
    QColor colour(std::size_t i) const { return w.lines_[i]->pen().color(); }
    QList<QPointF> points(std::size_t i) const { return w.lines_[i]->points(); }
    /// The desired accuracy line's value (0 when none is drawn).
    double eps_line() const { return w.eps_line_->count() == 2 ? w.eps_line_->at(0).y() : 0.0; }
};

}  // namespace varnex
