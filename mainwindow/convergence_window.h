#pragma once
// The convergence window frmConvergence: the accuracy Er of every sweep of the current run on a
// logarithmic axis with the desired accuracy as a line, and the five runs before it in light hues
// for comparison. The sweep axis fits the current run (longer earlier runs are clipped at its edge)
// unless all runs are asked for; a box or the wheel zooms, a double-click fits again. A tool window
// of the main window, so it stays above it; it follows a run live through the main window's
// throttled repaint and costs a vector push per sweep otherwise.

#include <QWidget>
#include <array>
#include <cstdint>
#include <string>

#include "mainwindow/convergence_history.h"
#include "mainwindow/qt_seams.h"

class QChart;
class QHBoxLayout;
class QChartView;
class QLabel;
class QPushButton;
class QLineSeries;
class QLogValueAxis;
class QScatterSeries;
class QValueAxis;

namespace varnex {

class ConvergenceWindow : public QWidget, public SweepListener {
    Q_OBJECT

  public:
    /// Shows `history`, which it also fills from the sweeps it is told of. Not shown until asked.
    explicit ConvergenceWindow(ConvergenceHistory& history, QWidget* parent = nullptr);

    void sweep_done(float er) override { history_.sweep_done(er); }
    /// Brings the chart up to date when the window is shown; nothing otherwise.
    void before_repaint() override;

    /// Brings the chart up to date with the history: the current curve only while the same run
    /// grows, every curve when a run begins, the plot is resized or the axis floor moves.
    void sync();
    /// Shows every run in full (true) or fits the axis to the current run (false).
    void showAllRuns(bool all);

  protected:
    /// Closes this window with the main window that owns it.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    friend struct ConvergenceWindowProbe;
    // Draws run i of the history into its line series and adds its zero marks to `zeros`; with
    // `restyle` also sets the curve's pen and legend name (when the runs have moved on).
    void draw_run(std::size_t i, bool current, QList<QPointF>& zeros, bool restyle);
    void set_axes(const LogRange& range, int sweeps);
    int buckets() const;
    // The sweeps the axis fits: the current run's, or the longest run's when all are shown.
    int fitted_sweeps() const;
    void draw_eps();
    // Fits the axes again after a zoom (double-click, new run).
    void unzoom();
    void build_chart();
    // Shows the run's tooltip when the pointer is on a curve or on its legend entry.
    void connect_tips();
    QHBoxLayout* build_bar();

    static constexpr std::size_t kCurves = ConvergenceHistory::kEarlierRuns + 1;

    ConvergenceHistory& history_;
    QChart* chart_ = nullptr;
    QChartView* view_ = nullptr;
    QValueAxis* x_ = nullptr;
    QLogValueAxis* y_ = nullptr;
    std::array<QLineSeries*, kCurves> lines_{};
    QScatterSeries* zeros_current_ = nullptr;
    QScatterSeries* zeros_earlier_ = nullptr;
    QLineSeries* eps_line_ = nullptr;
    QLabel* lblRun_ = nullptr;
    QPushButton* cmdAllRuns_ = nullptr;
    bool zeros_in_legend_ = false;
    bool show_all_ = false;
    bool zoomed_ = false;
    std::array<QString, kCurves> tips_;

    // What the chart shows now, to skip work when nothing changed.
    std::uint64_t drawn_runs_begun_ = 0;
    std::size_t drawn_sweeps_ = 0;
    int drawn_buckets_ = 0;
    int drawn_axis_end_ = 0;
    LogRange drawn_range_{};
    QString drawn_system_;
    std::string drawn_ending_;
};

}  // namespace varnex
