#include "mainwindow/zoom_chart_view.h"

#include <QMouseEvent>
#include <QValueAxis>
#include <QWheelEvent>
#include <cmath>

namespace varnex {

void set_ticked_range(QValueAxis* axis, double lo, double hi, double tick) {
    if (tick > axis->tickInterval()) {
        axis->setTickInterval(tick);
        axis->setRange(lo, hi);
    } else {
        axis->setRange(lo, hi);
        axis->setTickInterval(tick);
    }
}

ZoomChartView::ZoomChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
    setRubberBand(QChartView::RectangleRubberBand);
}

void ZoomChartView::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    const QRectF plot = chart()->plotArea();
    const QPointF at = chart()->mapFromScene(mapToScene(event->position().toPoint()));
    if (notches == 0.0 || !plot.contains(at)) return QChartView::wheelEvent(event);
    // The point under the pointer stays where it is; one notch shows 80 % of the width and height.
    const double f = std::pow(0.8, notches);
    const QRectF box(at.x() - (at.x() - plot.left()) * f, at.y() - (at.y() - plot.top()) * f, plot.width() * f,
                        plot.height() * f);
    chart()->zoomIn(box);
    event->accept();
    emit zoomed();
}

void ZoomChartView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) press_ = event->position().toPoint();
    QChartView::mousePressEvent(event);
}

void ZoomChartView::mouseReleaseEvent(QMouseEvent* event) {
    // A box ends with the left button and the view's own handling zooms into it; a click, whose box
    // has no area, zooms nowhere.
    const QPoint d = event->position().toPoint() - press_;
    QChartView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && std::abs(d.x()) > 2 && std::abs(d.y()) > 2) emit zoomed();
}

void ZoomChartView::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    emit resetRequested();
}

}  // namespace varnex
