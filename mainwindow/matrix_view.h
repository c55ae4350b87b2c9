#pragma once
// The picture of A in the matrix window: one cell of the binned matrix per screen pixel, coloured
// by log10 |a| (light for small, dark for large), zero blank, values that are not numbers red. It
// zooms by wheel, by a box dragged with the mouse and by keys, down to single entries, and tells the
// value under the pointer. The cells come from outside (the window's worker); the view says which
// block it wants next.

#include <QImage>
#include <QRectF>
#include <QWidget>

#include "core/matrix_bins.h"
#include "mainwindow/matrix_source.h"

class QRubberBand;

namespace varnex {

class MatrixView : public QWidget {
    Q_OBJECT

  public:
    explicit MatrixView(QWidget* parent = nullptr);

    /// A matrix of order n: the whole matrix in view when the order changed.
    void set_order(int n);
    int order() const { return n_; }
    /// A new picture; a picture of the whole matrix also sets the colour scale.
    void set_picture(MatrixBins bins);
    /// No picture, and the note shown instead.
    void clear(const QString& note);
    /// The block of entries to show next at the view's resolution (empty without an order).
    PictureBlock wanted_block() const;
    /// The block of the picture on show.
    PictureBlock shown_block() const;

    /// The entries in view, 0-based: entry (i, j) covers [j-1, j) × [i-1, i).
    QRectF region() const { return region_; }
    void set_region(const QRectF& r);
    void reset_zoom();
    /// Zooms by `factor` (below 1 closer) keeping the entry under widget point p where it is.
    void zoom_at(const QPointF& p, double factor);
    /// What the pointer at widget point p shows: "a(i,j) = v" for a single entry, the largest
    /// magnitude of a block of entries otherwise; empty outside the matrix.
    QString describe_at(const QPointF& p) const;
    /// The rectangle of the widget the region is drawn into.
    QRectF picture_rect() const;

  signals:
    void regionChanged();
    void hovered(const QString& text);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QPointF to_entries(const QPointF& p) const;
    void render_image();
    void draw_axes(QPainter& p, const QRectF& pic) const;
    void draw_scale(QPainter& p, const QRectF& pic) const;

    int n_ = 0;
    QRectF region_;
    MatrixBins bins_;
    QImage image_;
    MagnitudeRange range_;
    QString note_;
    QRubberBand* band_ = nullptr;
    QPoint band_origin_;
};

/// The colour of a value on the picture's logarithmic scale (white for 0, red for a NaN).
QRgb picture_colour(float v, const MagnitudeRange& range);

}  // namespace varnex
