#pragma once
// The two picture windows of the View menu, Matrix and Solution, kept up to date with the commands
// of the main window: stopped before each command, drawn anew after it.

#include <QPointer>

#include <optional>
#include <vector>

#include "commands/app.h"

class QAbstractItemModel;
class QObject;
class QWidget;

namespace varnex {

class MatrixWindow;
class SolutionWindow;

class PictureWindows {
  public:
    /// Windows of `main`, showing `app` and told of changes to its grid by `grid` (the grid's view
    /// model); all three outlive this object's use of them.
    PictureWindows(const App& app, QWidget* main, const QAbstractItemModel* grid);
    /// Closes the windows and stops their work before the state they read goes.
    ~PictureWindows();
    PictureWindows(const PictureWindows&) = delete;
    PictureWindows& operator=(const PictureWindows&) = delete;

    void show_matrix();
    void show_solution();
    void command_starting() noexcept;
    void command_ended() noexcept;
    /// The accurate solution of the current system (reference[k] = x̂(k + 1)), drawn beside x and
    /// with the error of each component until it is replaced; nullopt when there is none (another
    /// system, or none could be computed).
    void set_reference(std::optional<std::vector<double>> reference) noexcept;

    MatrixWindow* matrix() const { return matrix_; }
    SolutionWindow* solution() const { return solution_; }

  private:
    void update_solution();
    const App& app_;
    std::optional<std::vector<double>> reference_;
    MatrixWindow* matrix_;
    SolutionWindow* solution_;
    QObject* closer_ = nullptr;
};

}  // namespace varnex
