#include "mainwindow/matrix_window.h"

#include <QAbstractItemModel>
#include <QEvent>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include <filesystem>

#include "commands/connect_command.h"
#include "core/grid_layout.h"
#include "mainwindow/guarded.h"
#include "mainwindow/matrix_source.h"
#include "mainwindow/matrix_view.h"

namespace varnex {

namespace {

// How long the zoom or the window's size must rest before a finer picture is binned.
constexpr int kSettleMs = 120;

}  // namespace

MatrixWindow::MatrixWindow(const App& app, QWidget* parent) : QWidget(parent, Qt::Window), app_(app) {
    setObjectName(QStringLiteral("frmMatrix"));
    setWindowTitle(QStringLiteral("Matrix"));
    resize(640, 600);

    source_ = new MatrixSource(app_, this);
    view_ = new MatrixView(this);
    lblInfo_ = new QLabel(this);
    lblInfo_->setObjectName(QStringLiteral("lblInfo"));
    lblInfo_->setWordWrap(true);
    lblValue_ = new QLabel(this);
    lblValue_->setObjectName(QStringLiteral("lblValue"));
    lblValue_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    for (QLabel* l : {lblInfo_, lblValue_}) l->setContentsMargins(8, 2, 8, 2);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(2);
    layout->addWidget(lblInfo_);
    layout->addWidget(view_, 1);
    layout->addWidget(lblValue_);

    settle_ = new QTimer(this);
    settle_->setSingleShot(true);
    settle_->setInterval(kSettleMs);
    connect(settle_, &QTimer::timeout, this, guard([this] { request_wanted(); }));
    connect(view_, &MatrixView::regionChanged, settle_, qOverload<>(&QTimer::start));
    connect(view_, &MatrixView::hovered, lblValue_, &QLabel::setText);
    connect(source_, &MatrixSource::ready, this, guard([this] { picture_ready(); }));
    connect(source_, &MatrixSource::failed, this, guard([this](const QString& why) { view_->clear(why); }));
}

MatrixWindow::~MatrixWindow() { source_->cancel(); }

bool MatrixWindow::busy() const { return source_->busy() || settle_->isActive(); }

void MatrixWindow::command_starting() {
    // A picture cut short is drawn again after the command, whatever the command did.
    if (source_->busy() || settle_->isActive()) stale_ = true;
    settle_->stop();
    source_->cancel();
}

void MatrixWindow::watch_grid(const QAbstractItemModel* grid) {
    // The view model's columns are the grid's from column 1 on; only a change among the a(i,j) matters.
    connect(grid, &QAbstractItemModel::modelReset, this, guard([this] { stale_ = true; }));
    connect(grid, &QAbstractItemModel::dataChanged, this, guard([this](const QModelIndex& top_left) {
                if (top_left.column() + 1 <= a_column(app_.st.N)) stale_ = true;
            }));
}

MatrixWindow::Subject MatrixWindow::subject() const {
    Subject s{app_.st.N, app_.st.DataMode, {}, 0};
    if (s.mode == kModeConnected) {
        // The row file changes only when Connect writes it anew.
        std::error_code ec;
        const std::string path = row_file_path(app_.app_folder);
        s.file_time = std::filesystem::last_write_time(path, ec);
        s.file_size = std::filesystem::file_size(path, ec);
    }
    return s;
}

void MatrixWindow::command_ended() {
    // Most commands leave A alone (the solve commands, the arrows, Save): the picture stands.
    if (!(subject() == drawn_)) stale_ = true;
    if (stale_ && isVisible()) refresh();
}

void MatrixWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (stale_) guarded([this] { refresh(); });
}

void MatrixWindow::refresh() {
    stale_ = false;
    drawn_ = subject();
    const int n = app_.st.N;
    const bool has_matrix = n > 0 && (app_.st.DataMode == kModeMemory || app_.st.DataMode == kModeConnected);
    view_->set_order(has_matrix ? n : 0);
    if (!has_matrix) {
        lblInfo_->setText(QString());
        view_->clear(QStringLiteral("No system yet: accept N, or open or connect a system file."));
        return;
    }
    const bool connected = app_.st.DataMode == kModeConnected;
    lblInfo_->setText(QStringLiteral("Order %1%2. Each pixel shows the largest |a(i,j)| of the entries it covers. "
                                     "Wheel or a dragged box zooms, a double-click shows the whole matrix.")
                          .arg(n)
                          .arg(connected ? QStringLiteral(", read from the row file") : QString()));
    // The whole matrix first, at the view's resolution: it sets the colour scale; a zoomed view then
    // asks for its own block.
    PictureBlock whole = view_->wanted_block();
    whole.row_first = whole.col_first = 1;
    whole.row_count = whole.col_count = n;
    source_->request(whole);
}

void MatrixWindow::request_wanted() {
    if (view_->order() <= 0 || source_->busy()) return;
    const PictureBlock wanted = view_->wanted_block();
    if (wanted.row_count > 0 && !(wanted == view_->shown_block())) source_->request(wanted);
}

void MatrixWindow::picture_ready() {
    view_->set_picture(source_->take());
    const PictureBlock wanted = view_->wanted_block();
    if (wanted == view_->shown_block()) {
        emit pictureShown();
    } else {
        source_->request(wanted);
    }
}

}  // namespace varnex
