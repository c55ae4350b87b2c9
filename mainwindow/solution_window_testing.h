#pragma once
// What the solution window has drawn, read by tests from its series.

#include <QLineSeries>

#include "mainwindow/solution_window.h"

namespace varnex {

struct SolutionWindowProbe {
    const SolutionWindow& w;
    /// Points drawn for x, for the reference and for the error.
    int x_points() const { return static_cast<int>(w.x_line_->count()); }
    int reference_points() const { return static_cast<int>(w.ref_line_->count()); }
    int error_points() const { return static_cast<int>(w.err_line_->count()); }
};

}  // namespace varnex
