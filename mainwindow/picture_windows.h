#pragma once
// The two picture windows of the View menu, Matrix and Solution, kept up to date with the commands
// of the main window: stopped before each command, drawn anew after it.

#include <QPointer>

#include "core/app.h"

class QWidget;

namespace varnex {

class MatrixWindow;
class SolutionWindow;

class PictureWindows {
  public:
    /// Windows of `main`, showing `app`; both outlive this object's use of them.
    PictureWindows(const App& app, QWidget* main);
    /// Closes the windows and stops their work before the state they read goes.
    ~PictureWindows();
    PictureWindows(const PictureWindows&) = delete;
    PictureWindows& operator=(const PictureWindows&) = delete;

    void show_matrix();
    void show_solution();
    void command_starting();
    void command_ended();

    MatrixWindow* matrix() const { return matrix_; }
    SolutionWindow* solution() const { return solution_; }

  private:
    void update_solution();
    const App& app_;
    MatrixWindow* matrix_;
    SolutionWindow* solution_;
};

}  // namespace varnex
