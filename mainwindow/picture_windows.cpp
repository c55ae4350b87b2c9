#include "mainwindow/picture_windows.h"

#include <QEvent>
#include <QWidget>

#include "mainwindow/guarded.h"
#include "mainwindow/matrix_window.h"
#include "mainwindow/solution_window.h"

namespace varnex {

namespace {

// Closes the picture windows with the main window, whose close ends the program.
class ClosesWithMain : public QObject {
  public:
    ClosesWithMain(QWidget* main, std::initializer_list<QWidget*> windows) : QObject(main), windows_(windows) {
        main->installEventFilter(this);
        // The windows neither keep the program running on their own nor outlive the main window.
        for (QWidget* w : windows_) w->setAttribute(Qt::WA_QuitOnClose, false);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == parent() && event->type() == QEvent::Close)
            for (QWidget* w : windows_) w->close();
        return QObject::eventFilter(watched, event);
    }

  private:
    QList<QWidget*> windows_;
};

void bring_up(QWidget* w) {
    w->show();
    w->raise();
    w->activateWindow();
}

}  // namespace

PictureWindows::PictureWindows(const App& app, QWidget* main, const QAbstractItemModel* grid)
    : app_(app), matrix_(new MatrixWindow(app, main)), solution_(new SolutionWindow(main)) {
    closer_ = new ClosesWithMain(main, {matrix_, solution_});
    matrix_->watch_grid(grid);
}

PictureWindows::~PictureWindows() {
    delete closer_;
    delete matrix_;
    delete solution_;
}

// The menu's slots are guarded where they are connected.
void PictureWindows::show_matrix() { bring_up(matrix_); }

void PictureWindows::show_solution() {
    update_solution();
    bring_up(solution_);
}

// Called in the middle of a command's run and of the accuracy report's delivery, which go on past
// them: a picture that cannot be had (no memory for a copy of x) is left as it was.
void PictureWindows::command_starting() noexcept { matrix_->command_starting(); }

void PictureWindows::command_ended() noexcept {
    guarded([this] {
        matrix_->command_ended();
        update_solution();
    });
}

void PictureWindows::update_solution() {
    // x(1..N): a copy of N values, drawn only while the window shows.
    const int n = app_.st.N;
    const auto& X = app_.st.X;
    std::vector<float> x;
    if (n > 0 && X.size() > static_cast<std::size_t>(n)) x.assign(X.begin() + 1, X.begin() + n + 1);
    solution_->set_solution(std::move(x), reference_);
}

void PictureWindows::set_reference(std::optional<std::vector<double>> reference) noexcept {
    reference_ = std::move(reference);
    guarded([this] { update_solution(); });
}

}  // namespace varnex
