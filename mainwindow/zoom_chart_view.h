#pragma once
// A chart view that zooms: a box dragged with the left button zooms into it, the wheel zooms in and
// out around the pointer, a double-click asks for the fitted view again (the owner knows what fits).

#include <QChartView>

namespace varnex {

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
