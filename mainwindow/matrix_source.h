#pragma once
// The cells of the matrix picture, binned on a worker thread from the current system: from A in
// memory mode, from one pass over the row file in connected mode. The main window cancels the
// worker before every command, so that no command changes what the worker reads, and asks for a
// new picture after it.

#include <QObject>
#include <QString>
#include <string>
#include <utility>

#include "commands/app.h"
#include "core/matrix_bins.h"
#include "mainwindow/cancellable_worker.h"

namespace varnex {

/// The block of A a picture shows: rows and columns 1-based, in at most max_bins cells a side.
struct PictureBlock {
    int row_first = 1, row_count = 0, col_first = 1, col_count = 0, max_bins = 0;
    /// The same entries in the same cells (max_bins may differ where it exceeds both counts).
    bool operator==(const PictureBlock& o) const {
        auto bins = [](int count, int most) { return count < most ? count : most; };
        return row_first == o.row_first && row_count == o.row_count && col_first == o.col_first &&
               col_count == o.col_count && bins(row_count, max_bins) == bins(o.row_count, o.max_bins) &&
               bins(col_count, max_bins) == bins(o.col_count, o.max_bins);
    }
};

class MatrixSource : public QObject {
    Q_OBJECT

  public:
    /// Reads `app`, which outlives the source.
    explicit MatrixSource(const App& app, QObject* parent = nullptr);
    ~MatrixSource() override;

    /// Bins `block` of the current system on the worker thread, after cancelling a request under
    /// way; ready() or failed() follows on the window's thread.
    void request(const PictureBlock& block);
    /// Stops the worker and waits for it (it notices within one row or column); a result not yet
    /// taken is dropped.
    void cancel();
    bool busy() const { return worker_.busy(); }
    /// The last result, moved out, and the block it shows.
    MatrixBins take() { return std::move(bins_); }

  signals:
    void ready();
    void failed(const QString& why);

  private:
    // Starts the worker thread; throws std::system_error when none can be had.
    void start(const PictureBlock& block, bool connected, int n, const std::string& path);
    // The cells, or why there are none (an empty text for a picture).
    using Outcome = std::pair<MatrixBins, QString>;
    void deliver(Outcome outcome);

    const App& app_;
    CancellableWorker<Outcome> worker_{this};
    MatrixBins bins_;  // the delivered result (window thread)
};

}  // namespace varnex
