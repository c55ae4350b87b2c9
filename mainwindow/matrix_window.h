#pragma once
// The matrix window frmMatrix (View ▸ Matrix): the picture of A, binned on a worker thread so that
// the window never holds up a command, and drawn again after each command while the window shows.

#include <QWidget>

#include "core/app.h"

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
    /// After any command: a new picture when the window shows, else when it is next shown.
    void command_ended();

    MatrixView* view() const { return view_; }
    /// A picture is being binned.
    bool busy() const;

  signals:
    /// The picture on show is up to date with the system and the zoom.
    void pictureShown();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
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
};

}  // namespace varnex
