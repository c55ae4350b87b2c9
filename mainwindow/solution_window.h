#pragma once
// The solution window frmSolution (View ▸ Solution): x(i) against i and, when an accurate reference
// solution is known, the reference beside it and the error |x(i) - x̂(i)| of each component on a
// logarithmic axis. Long vectors are reduced to the smallest and largest value of each group of
// components that one pixel column shows, so that no outlier is lost.

#include <QWidget>
#include <optional>
#include <vector>

class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QLogValueAxis;
class QValueAxis;

namespace varnex {

class SolutionWindow : public QWidget {
    Q_OBJECT

  public:
    explicit SolutionWindow(QWidget* parent = nullptr);

    /// The solution to show: x[k] is x(k + 1); `reference` (the same length) the accurate solution,
    /// or none. Drawn at once when the window shows, else when it is next shown.
    void set_solution(std::vector<float> x, std::optional<std::vector<double>> reference = std::nullopt);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    friend struct SolutionWindowProbe;
    void draw();
    void draw_error();

    std::vector<float> x_;
    std::optional<std::vector<double>> reference_;
    bool stale_ = false;
    QChart* values_ = nullptr;
    QChart* errors_ = nullptr;
    QChartView* errors_view_ = nullptr;
    QLineSeries* x_line_ = nullptr;
    QLineSeries* ref_line_ = nullptr;
    QLineSeries* err_line_ = nullptr;
    QValueAxis* i_axis_ = nullptr;
    QValueAxis* x_axis_ = nullptr;
    QValueAxis* ei_axis_ = nullptr;
    QLogValueAxis* e_axis_ = nullptr;
    QLabel* lblInfo_ = nullptr;
};

}  // namespace varnex
