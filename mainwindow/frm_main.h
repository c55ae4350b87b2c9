#pragma once
// The main window frmMain: the data grid, the entry rows and the solve area. The window holds no
// arithmetic: each slot hands its command to the logic of commands/. The menu bar is the shell's
// (shell/menus.h): it calls the public commands below.

#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <memory>

#include "commands/app.h"
#include "mainwindow/convergence_history.h"
#include "mainwindow/file_dialog_look.h"
#include "mainwindow/qt_seams.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTableView;

namespace varnex {

class ClientArea;
class AccuracyReporter;
class AccuracyWindow;
class ConvergenceWindow;
class GridTableModel;
class InputGate;
class PictureWindows;

/// Passes the grid's changes on to the view model and, every few cell writes, lets the window
/// repaint (throttled by Controls::refresh), so a long sweep keeps its x(i) cells moving.
class RepaintingObserver : public GridObserver {
  public:
    /// Cell writes between two calls of Controls::refresh.
    static constexpr int kWritesPerRefresh = 64;

    GridObserver* inner = nullptr;
    Controls* ui = nullptr;
    /// Grid resets seen so far: a command that reset the grid has set a new system up.
    int resets = 0;

    void grid_reset() override;
    void cell_written(int row, int col) override;

  private:
    int writes_ = 0;
};

class FrmMain : public QMainWindow {
    Q_OBJECT

  public:
    /// Builds the window, takes the decimal separator from the system locale and runs the load
    /// handler, all before the window is first shown.
    explicit FrmMain(const QString& appFolder, QWidget* parent = nullptr);
    ~FrmMain() override;

    App& app() { return app_; }
    GridTableModel* gridModel() const { return model_; }
    ConvergenceWindow* convergenceWindow() const { return frmConvergence_; }
    PictureWindows* pictures() const { return pictures_.get(); }
    QTableView* gridView() const { return msfgData_; }
    const QString& appFolder() const { return app_folder_; }

    // The commands the menus run.
    /// Where a command that may set a system up takes it from: the convergence window's title
    /// follows the system's file.
    enum class SystemSource { Typed, File, Save };
    /// Open, Save, Connect and Import: the file dialog shows the command's title and filters.
    void file_command(DialogPurpose purpose, void (*command)(App&), SystemSource source);
    /// A command that neither solves nor sets a system up (Exit, About, the help windows).
    void plain_command(const std::function<void(App&)>& command);
    /// File, Export solution and File, Export accurate solution.
    void export_solution();
    void export_accurate();
    /// View, Accuracy and View, Convergence.
    void show_accuracy_window();
    void show_convergence_window();
    /// Edit, Copy and Edit, Paste of grid blocks through the clipboard.
    void copy_selection();
    void paste_clipboard();
    /// A menu action whose shortcut wins over a text box's own keys (Ctrl+A, Ctrl+C, ...).
    void add_shortcut(QAction* action) { shortcut_actions_.append(action); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    /// Keeps the status bar's note when the pointer passes over a menu: the actions have no status
    /// tips, and Qt would show their empty tip in its place.
    bool event(QEvent* event) override;

  private:
    // The window's controls as designed (frm_main_controls.cpp).
    /// The font, the client area and the status bar; returns the status bar.
    QStatusBar* build_frame();
    void build_grid(QWidget* client);
    void build_controls(QWidget* client);
    void build_entry_rows(QWidget* client);
    void build_index_selectors(QWidget* client);
    void build_solve_area(QWidget* client);
    /// The "Go to x(i)" box at the right of the status bar.
    void build_go_to(QStatusBar* status);
    /// The whole report in the status bar's tooltip and, when it is open, in View, Accuracy.
    void show_accuracy(bool opening);
    void go_to_clicked();
    /// Paste's writing of the clipboard's block into the grid.
    void paste_block();
    void connect_commands();
    /// Typing into the grid's cells and files dropped on the window.
    void connect_typing_and_drops();
    void set_tab_order();
    void bind_controls();
    /// Runs one command of the logic with the grid's repaint deferred to the throttled refresh and
    /// the user's input dropped until it ends; Esc (or a close) stops a `stoppable` run.
    template <class Command>
    void run(Command&& command, bool busy, bool stoppable = false);
    /// A solve command, with the convergence window told where its sweeps belong.
    template <class Command>
    void solve(Command&& command, bool find_solution);
    /// A command that may set a new system up (Accept N, Open, Connect) or give the current one a file
    /// name (Save), then the convergence window's title for it.
    template <class Command>
    void run_and_name_system(Command&& command, SystemSource source);
    /// Paints cell (0, 0) of the grid into the view's corner.
    void paint_corner();

    App app_;
    QString app_folder_;
    QtControls controls_;
    QtMessageBoxes boxes_;
    QtFileDialog cd_;
    SystemClock clock_;
    RepaintingObserver observer_;
    GridTableModel* model_ = nullptr;
    QWidget* corner_ = nullptr;
    QList<QAction*> shortcut_actions_;
    InputGate* gate_ = nullptr;
    ClientArea* client_ = nullptr;
    ConvergenceHistory convergence_;
    ConvergenceWindow* frmConvergence_ = nullptr;
    AccuracyWindow* frmAccuracy_ = nullptr;
    std::unique_ptr<PictureWindows> pictures_;

    QTableView* msfgData_ = nullptr;
    QLineEdit* txtN_ = nullptr;
    QLineEdit* txtA_ = nullptr;
    QLineEdit* txtB_ = nullptr;
    QLineEdit* txtEps_ = nullptr;
    QLineEdit* txtTime_ = nullptr;
    QLineEdit* txtEr_ = nullptr;
    QLineEdit* txtGoTo_ = nullptr;
    QPushButton* cmdN_ = nullptr;
    QPushButton* cmdA_ = nullptr;
    QPushButton* cmdB_ = nullptr;
    QPushButton* cmdSolution_ = nullptr;
    QPushButton* cmdIter_ = nullptr;
    std::array<QFrame*, 3> frmIndex_{};
    std::array<QLineEdit*, 3> txtIndex_{};
    std::array<QPushButton*, 3> cmdDown_{};
    std::array<QPushButton*, 3> cmdUp_{};
    // Last, so that it goes first: its worker reads app_.
    std::unique_ptr<AccuracyReporter> reporter_;
};

}  // namespace varnex
