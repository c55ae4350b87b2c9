#include "mainwindow/matrix_source.h"

#include <QMetaObject>
#include <exception>

#include "core/errors.h"
#include "files/connect_command.h"
#include "mainwindow/guarded.h"

namespace varnex {

MatrixSource::MatrixSource(const App& app, QObject* parent) : QObject(parent), app_(app) {
    setObjectName(QStringLiteral("matrixSource"));
}

MatrixSource::~MatrixSource() { cancel(); }

void MatrixSource::request(const PictureBlock& block) {
    cancel();
    // What the worker needs of the state is taken here, on the window's thread.
    const bool connected = app_.st.DataMode == kModeConnected;
    const int n = app_.st.N;
    try {
        start(block, connected, n, connected ? row_file_path(app_.app_folder) : std::string());
    } catch (const std::exception&) {
        // No thread (or no memory for its arguments) to be had: no picture this time.
        emit failed(QStringLiteral("The picture cannot be drawn now: the system is out of resources."));
    }
}

void MatrixSource::start(const PictureBlock& block, bool connected, int n, const std::string& path) {
    worker_ = std::thread([this, block, connected, n, path] {
        MatrixBins bins;
        QString error;
        bool done = false;
        try {
            bins = MatrixBins(block.row_first, block.row_count, block.col_first, block.col_count, block.max_bins);
            done = connected ? bin_row_file(path, n, bins, cancel_) : bin_grid(app_.grid, bins, cancel_);
        } catch (const RunError&) {
            error = connected ? QStringLiteral("The row file cannot be read.") : QStringLiteral("No matrix to show.");
            done = true;
        } catch (const std::exception&) {
            error = QStringLiteral("Not enough memory for the picture.");
            done = true;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (!done || cancel_.load()) return;
        result_ = std::move(bins);
        error_ = error;
        posted_ = true;
        // Posted while the lock is held: cancel() takes it before the source may go.
        QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
    });
}

void MatrixSource::cancel() {
    if (!worker_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancel_.store(true);
    }
    worker_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    cancel_.store(false);
    posted_ = false;
    result_ = MatrixBins();
}

void MatrixSource::deliver() {
    // Called from Qt's event queue.
    guarded([this] {
        QString error;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!posted_) return;  // withdrawn by cancel() after it was posted
            posted_ = false;
            bins_ = std::move(result_);
            result_ = MatrixBins();
            error = error_;
        }
        worker_.join();
        if (error.isEmpty()) {
            emit ready();
        } else {
            emit failed(error);
        }
    });
}

}  // namespace varnex
