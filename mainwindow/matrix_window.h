#pragma once
// The matrix window frmMatrix (View ▸ Matrix): the picture of A, binned on a worker thread so that
// the window never holds up a command, and drawn again after each command while the window shows.

#include <QWidget>
#include <cstdint>
#include <filesystem>

#include "commands/app.h"

class QAbstractItemModel;
class QLabel;
class QTimer;

namespace varnex {

class MatrixSource;
class MatrixView;

class MatrixWindow : public QWidget {
    Q_OBJECT

  public:
    /// Shows the matrix of `app`, which outlives the window. Not shown until asked.
    explicit MatrixWindow(const App& app, QWidget* parent = nullptr);
    ~MatrixWindow() override;

    /// Before any command: the worker stops, so that the command may change the matrix.
    void command_starting();
    /// After any command: a new picture when the command changed the matrix (or cut a picture
    /// short), at once when the window shows, else when it is next shown.
    void command_ended();
    /// The picture is drawn anew when the window is next shown or a command ends.
    void invalidate() { stale_ = true; }
    /// Follows the writes to the coefficient cells of the data grid through its view model.
    void watch_grid(const QAbstractItemModel* grid);

    MatrixView* view() const { return view_; }
    /// A picture is being binned, or will be once the zoom or the size has settled.
    bool busy() const;

  signals:
    /// The picture on show is up to date with the system and the zoom.
    void pictureShown();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // What the picture shows besides the grid's cells: order, mode and, in connected mode, the row
    // file's time and size.
    struct Subject {
        int n = -1;
        int mode = -1;
        std::filesystem::file_time_type file_time{};
        std::uintmax_t file_size = 0;
        bool operator==(const Subject&) const = default;
    };
    Subject subject() const;
    void refresh();
    void request_wanted();
    void picture_ready();

    const App& app_;
    MatrixSource* source_ = nullptr;
    MatrixView* view_ = nullptr;
    QLabel* lblInfo_ = nullptr;
    QLabel* lblValue_ = nullptr;
    QTimer* settle_ = nullptr;
    bool stale_ = true;
    Subject drawn_;
};

}  // namespace varnex
