#include "mainwindow/matrix_source.h"

#include <exception>

#include "commands/connect_command.h"
#include "core/errors.h"

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
    worker_.run(
        [this, block, connected, n, path](const std::atomic<bool>& cancel) -> std::optional<Outcome> {
            try {
                MatrixBins bins(block.row_first, block.row_count, block.col_first, block.col_count, block.max_bins);
                const bool done = connected ? bin_row_file(path, n, bins, cancel) : bin_grid(app_.grid, bins, cancel);
                if (!done) return std::nullopt;
                return Outcome(std::move(bins), QString());
            } catch (const RunError&) {
                return Outcome(MatrixBins(), connected ? QStringLiteral("The row file cannot be read.")
                                                       : QStringLiteral("No matrix to show."));
            } catch (const std::exception&) {
                return Outcome(MatrixBins(), QStringLiteral("Not enough memory for the picture."));
            }
        },
        [this](Outcome outcome) { deliver(std::move(outcome)); });
}

void MatrixSource::cancel() { worker_.cancel(); }

void MatrixSource::deliver(Outcome outcome) {
    bins_ = std::move(outcome.first);
    if (outcome.second.isEmpty()) {
        emit ready();
    } else {
        emit failed(outcome.second);
    }
}

}  // namespace varnex
