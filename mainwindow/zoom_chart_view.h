#pragma once
// A chart view that zooms: a box dragged with the left button zooms into it, the wheel zooms in and
// out around the pointer, a double-click asks for the fitted view again (the owner knows what fits).

#include <QChartView>

class QValueAxis;

namespace varnex {

/// Sets a value axis to lo..hi with ticks every `tick`. The axis lays out a label for every tick of
/// its range at each change: a range that grows takes its wider interval first, one that shrinks
/// its narrower range first, so that no step in between has thousands of ticks.
void set_ticked_range(QValueAxis* axis, double lo, double hi, double tick);

class ZoomChartView : public QChartView {
    Q_OBJECT

  public:
    explicit ZoomChartView(QChart* chart, QWidget* parent = nullptr);

  signals:
    /// The user zoomed (box or wheel): the owner keeps its hands off the axes until a reset.
    void zoomed();
    /// A double-click: the owner fits the axes again.
    void resetRequested();

  protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    QPoint press_;
};

}  // namespace varnex
