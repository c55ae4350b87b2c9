#include "mainwindow/matrix_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cmath>

#include "mainwindow/convergence_history.h"

namespace varnex {

namespace {

// Room around the picture for the row numbers (left), the column numbers (top) and the colour
// scale (right), in logical pixels.
constexpr double kLeft = 52, kTop = 22, kRight = 96, kBottom = 8;
// The picture never zooms closer than this many entries a side.
constexpr double kMinEntries = 2.0;
const QColor kNotNumber(220, 30, 30);

// The scale from light (small magnitudes) to dark (large): yellow, green, teal, blue, purple.
QRgb scale_colour(double t) {
    static constexpr std::array<std::array<int, 3>, 5> stops{
        {{253, 231, 37}, {94, 201, 98}, {33, 145, 140}, {59, 82, 139}, {68, 1, 84}}};
    const double x = std::clamp(t, 0.0, 1.0) * (stops.size() - 1);
    const std::size_t k = std::min(static_cast<std::size_t>(x), stops.size() - 2);
    const double f = x - static_cast<double>(k);
    auto mix = [&](int c) { return static_cast<int>(std::lround(stops[k][c] + f * (stops[k + 1][c] - stops[k][c]))); };
    return qRgb(mix(0), mix(1), mix(2));
}

QString value_text(float v) {
    if (std::isnan(v)) return QStringLiteral("not a number");
    if (std::isinf(v)) return v > 0 ? QStringLiteral("+infinity") : QStringLiteral("-infinity");
    return QString::number(v, 'g', 7);
}

}  // namespace

QRgb picture_colour(float v, const MagnitudeRange& range) {
    const double t = log_scale_position(v, range);
    if (t == -1.0) return qRgb(255, 255, 255);
    if (t == -2.0) return kNotNumber.rgb();
    return scale_colour(t);
}

MatrixView::MatrixView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("picMatrix"));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(320, 240);
    band_ = new QRubberBand(QRubberBand::Rectangle, this);
}

void MatrixView::set_order(int n) {
    if (n == n_) return;
    n_ = n;
    bins_ = MatrixBins();
    image_ = QImage();
    range_ = MagnitudeRange{};
    reset_zoom();
}

void MatrixView::set_picture(MatrixBins bins) {
    bins_ = std::move(bins);
    note_.clear();
    if (bins_.rows().count == n_ && bins_.cols().count == n_) range_ = bins_.range();
    render_image();
    update();
}

void MatrixView::clear(const QString& note) {
    note_ = note;
    bins_ = MatrixBins();
    image_ = QImage();
    update();
}

void MatrixView::render_image() {
    if (bins_.empty()) {
        image_ = QImage();
        return;
    }
    image_ = QImage(bins_.cols().bins, bins_.rows().bins, QImage::Format_RGB32);
    for (int r = 0; r < bins_.rows().bins; ++r) {
        auto* line = reinterpret_cast<QRgb*>(image_.scanLine(r));
        for (int c = 0; c < bins_.cols().bins; ++c) line[c] = picture_colour(bins_.cell(r, c), range_);
    }
}

PictureBlock MatrixView::shown_block() const {
    if (bins_.empty()) return {};
    return {bins_.rows().first, bins_.rows().count, bins_.cols().first, bins_.cols().count,
            std::max(bins_.rows().bins, bins_.cols().bins)};
}

PictureBlock MatrixView::wanted_block() const {
    if (n_ <= 0) return {};
    const int r0 = std::clamp(static_cast<int>(std::floor(region_.top())), 0, n_ - 1);
    const int r1 = std::clamp(static_cast<int>(std::ceil(region_.bottom())), r0 + 1, n_);
    const int c0 = std::clamp(static_cast<int>(std::floor(region_.left())), 0, n_ - 1);
    const int c1 = std::clamp(static_cast<int>(std::ceil(region_.right())), c0 + 1, n_);
    // One cell per device pixel of the picture: a cell never covers entries that two pixels show.
    const QRectF pic = picture_rect();
    const int pixels = static_cast<int>(std::ceil(std::max(pic.width(), pic.height()) * devicePixelRatioF()));
    return {r0 + 1, r1 - r0, c0 + 1, c1 - c0, std::max(1, pixels)};
}

QRectF MatrixView::picture_rect() const {
    const double w = width() - kLeft - kRight, h = height() - kTop - kBottom;
    if (region_.isEmpty() || w <= 0 || h <= 0) return {};
    // Square entries: the region fills the room in one direction.
    const double scale = std::min(w / region_.width(), h / region_.height());
    return {kLeft, kTop, region_.width() * scale, region_.height() * scale};
}

QPointF MatrixView::to_entries(const QPointF& p) const {
    const QRectF pic = picture_rect();
    if (pic.isEmpty()) return {};
    return {region_.left() + (p.x() - pic.left()) * region_.width() / pic.width(),
            region_.top() + (p.y() - pic.top()) * region_.height() / pic.height()};
}

void MatrixView::set_region(const QRectF& r) {
    if (n_ <= 0) return;
    const double side = static_cast<double>(n_);
    double w = std::clamp(r.width(), std::min(kMinEntries, side), side);
    double h = std::clamp(r.height(), std::min(kMinEntries, side), side);
    const double x = std::clamp(r.left(), 0.0, side - w), y = std::clamp(r.top(), 0.0, side - h);
    const QRectF next(x, y, w, h);
    if (next == region_) return;
    region_ = next;
    update();
    emit regionChanged();
}

void MatrixView::reset_zoom() {
    region_ = QRectF();
    set_region(QRectF(0, 0, n_, n_));
    update();
}

void MatrixView::zoom_at(const QPointF& p, double factor) {
    const QPointF e = to_entries(p);
    set_region(QRectF(e.x() - (e.x() - region_.left()) * factor, e.y() - (e.y() - region_.top()) * factor,
                      region_.width() * factor, region_.height() * factor));
}

QString MatrixView::describe_at(const QPointF& p) const {
    if (bins_.empty() || !picture_rect().contains(p)) return {};
    const QPointF e = to_entries(p);
    const int i = static_cast<int>(std::floor(e.y())) + 1, j = static_cast<int>(std::floor(e.x())) + 1;
    const BinAxis& rows = bins_.rows();
    const BinAxis& cols = bins_.cols();
    if (i < rows.first || i >= rows.first + rows.count || j < cols.first || j >= cols.first + cols.count) return {};
    const int r = rows.cell_of(i), c = cols.cell_of(j);
    const float v = bins_.cell(r, c);
    const int i0 = rows.first_of(r), i1 = rows.first_of(r + 1) - 1;
    const int j0 = cols.first_of(c), j1 = cols.first_of(c + 1) - 1;
    if (i0 == i1 && j0 == j1) return QStringLiteral("a(%1,%2) = %3").arg(i).arg(j).arg(value_text(v));
    const QString block = QStringLiteral("a(%1..%2, %3..%4)").arg(i0).arg(i1).arg(j0).arg(j1);
    if (std::isnan(v)) return block + QStringLiteral(": holds a value that is not a number");
    if (v == 0.0f) return block + QStringLiteral(": all 0");
    return block + QStringLiteral(": largest |a| = %1").arg(value_text(std::fabs(v)));
}

void MatrixView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const QRectF pic = picture_rect();
    if (!note_.isEmpty() || pic.isEmpty()) {
        p.drawText(rect(), Qt::AlignCenter, note_);
        return;
    }
    p.fillRect(pic, Qt::white);
    if (!image_.isNull()) {
        // The part of the region the picture covers, mapped to the picture's pixels.
        const BinAxis& rows = bins_.rows();
        const BinAxis& cols = bins_.cols();
        const QRectF block(cols.first - 1, rows.first - 1, cols.count, rows.count);
        const QRectF part = block.intersected(region_);
        if (!part.isEmpty()) {
            const double sx = cols.bins / static_cast<double>(cols.count), sy = rows.bins / static_cast<double>(rows.count);
            const QRectF source((part.left() - block.left()) * sx, (part.top() - block.top()) * sy, part.width() * sx,
                                part.height() * sy);
            const double kx = pic.width() / region_.width(), ky = pic.height() / region_.height();
            const QRectF target(pic.left() + (part.left() - region_.left()) * kx,
                                pic.top() + (part.top() - region_.top()) * ky, part.width() * kx, part.height() * ky);
            p.drawImage(target, image_, source);
        }
    }
    p.setPen(palette().color(QPalette::WindowText));
    p.drawRect(pic.adjusted(-0.5, -0.5, 0.5, 0.5));
    draw_axes(p, pic);
    draw_scale(p, pic);
}

void MatrixView::draw_axes(QPainter& p, const QRectF& pic) const {
    // Entry k's numbers at the middle of its row or column.
    auto labels = [&](double from, double span, double extent, bool rows) {
        const double step = nice_step(span, std::max(2, static_cast<int>(extent / 70)));
        const double per_entry = extent / span;
        for (double k = std::max(1.0, std::ceil((from + 1) / step) * step); k <= from + span + 0.5; k += step) {
            const double at = (k - 0.5 - from) * per_entry;
            const QString t = QString::number(static_cast<qint64>(k));
            if (rows) {
                p.drawText(QRectF(0, pic.top() + at - 9, kLeft - 6, 18), Qt::AlignRight | Qt::AlignVCenter, t);
            } else {
                p.drawText(QRectF(pic.left() + at - 30, 0, 60, kTop - 2), Qt::AlignHCenter | Qt::AlignBottom, t);
            }
        }
    };
    labels(region_.top(), region_.height(), pic.height(), true);
    labels(region_.left(), region_.width(), pic.width(), false);
}

void MatrixView::draw_scale(QPainter& p, const QRectF& pic) const {
    const double x = pic.right() + 14, w = 14, top = pic.top() + 26;
    const double h = std::max(40.0, std::min(pic.height(), 240.0) - 70);
    p.drawText(QRectF(x, pic.top(), kRight, 14), Qt::AlignLeft, QStringLiteral("|a(i,j)|"));
    for (int k = 0; k < static_cast<int>(h); ++k) p.fillRect(QRectF(x, top + k, w, 1), QColor(scale_colour(1.0 - k / h)));
    p.drawRect(QRectF(x, top, w, h));
    if (range_.largest > 0.0f) {
        p.drawText(QRectF(x + w + 4, top - 6, kRight, 14), Qt::AlignLeft, QString::number(range_.largest, 'g', 3));
        p.drawText(QRectF(x + w + 4, top + h - 8, kRight, 14), Qt::AlignLeft, QString::number(range_.smallest, 'g', 3));
    }
    const double y = top + h + 10;
    p.fillRect(QRectF(x, y, w, 12), Qt::white);
    p.drawRect(QRectF(x, y, w, 12));
    p.drawText(QRectF(x + w + 4, y - 1, kRight, 14), Qt::AlignLeft, QStringLiteral("0"));
    p.fillRect(QRectF(x, y + 18, w, 12), kNotNumber);
    p.drawText(QRectF(x + w + 4, y + 17, kRight, 14), Qt::AlignLeft, QStringLiteral("NaN, \u221e"));
}

void MatrixView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emit regionChanged();  // the resolution the view wants has changed
}

void MatrixView::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches != 0.0) zoom_at(event->position(), std::pow(0.8, notches));
    event->accept();
}

void MatrixView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    band_origin_ = event->position().toPoint();
    band_->setGeometry(QRect(band_origin_, QSize()));
    band_->show();
}

void MatrixView::mouseMoveEvent(QMouseEvent* event) {
    if (band_->isVisible()) band_->setGeometry(QRect(band_origin_, event->position().toPoint()).normalized());
    const QString text = describe_at(event->position());
    setToolTip(text);
    emit hovered(text);
}

void MatrixView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !band_->isVisible()) return QWidget::mouseReleaseEvent(event);
    band_->hide();
    const QRect box = QRect(band_origin_, event->position().toPoint()).normalized();
    // A click, or a box too small to mean one, leaves the zoom as it is.
    if (box.width() < 4 || box.height() < 4) return;
    const QPointF a = to_entries(box.topLeft()), b = to_entries(box.bottomRight());
    set_region(QRectF(a, b));
}

void MatrixView::mouseDoubleClickEvent(QMouseEvent*) {
    band_->hide();
    reset_zoom();
}

void MatrixView::keyPressEvent(QKeyEvent* event) {
    const QPointF centre = picture_rect().center();
    const double dx = region_.width() / 4, dy = region_.height() / 4;
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal: zoom_at(centre, 0.5); break;
        case Qt::Key_Minus: zoom_at(centre, 2.0); break;
        case Qt::Key_Home: reset_zoom(); break;
        case Qt::Key_Left: set_region(region_.translated(-dx, 0)); break;
        case Qt::Key_Right: set_region(region_.translated(dx, 0)); break;
        case Qt::Key_Up: set_region(region_.translated(0, -dy)); break;
        case Qt::Key_Down: set_region(region_.translated(0, dy)); break;
        default: QWidget::keyPressEvent(event);
    }
}

}  // namespace varnex
