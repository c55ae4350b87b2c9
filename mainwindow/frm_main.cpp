#include "mainwindow/frm_main.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTableView>
#include <QTimer>
#include <filesystem>

#include "commands/cell_entry.h"
#include "commands/commands.h"
#include "commands/connect_command.h"
#include "commands/export_command.h"
#include "commands/import_command.h"
#include "commands/open_command.h"
#include "commands/run_outcome.h"
#include "commands/save_command.h"
#include "core/convert.h"
#include "core/order_notes.h"
#include "mainwindow/accuracy_reporter.h"
#include "mainwindow/accuracy_window.h"
#include "mainwindow/cell_editing.h"
#include "mainwindow/client_area.h"
#include "mainwindow/convergence_window.h"
#include "mainwindow/file_drop.h"
#include "mainwindow/grid_table_model.h"
#include "mainwindow/guarded.h"
#include "mainwindow/input_gate.h"
#include "mainwindow/picture_windows.h"

namespace varnex {

namespace {

// The user's decimal separator, or '.' when the locale's is not a single ASCII character.
char locale_decimal_separator() {
    const QString point = QLocale::system().decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() < 0x80) return static_cast<char>(point.at(0).unicode());
    return '.';
}

}  // namespace

void RepaintingObserver::grid_reset() {
    ++resets;
    if (inner) inner->grid_reset();
}

void RepaintingObserver::cell_written(int row, int col) {
    if (inner) inner->cell_written(row, col);
    if (ui && ++writes_ >= kWritesPerRefresh) {
        writes_ = 0;
        ui->refresh();
    }
}

FrmMain::FrmMain(const QString& appFolder, QWidget* parent)
    : QMainWindow(parent), app_folder_(appFolder), boxes_(this), cd_(this) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("VARNEX SOLVER"));
    set_decimal_separator(locale_decimal_separator());

    QStatusBar* status = build_frame();
    controls_.set_status_bar(status);
    status->installEventFilter(this);
    gate_ = new InputGate(this, this);
    controls_.set_input_gate(gate_);
    controls_.set_sweep_counter(&app_.st.IterCount);
    build_grid(client_);
    build_controls(client_);
    client_->anchor(msfgData_);
    build_go_to(status);
    set_tab_order();
    bind_controls();
    connect_commands();
    resize(sizeHint());

    app_.app_folder = appFolder.toStdString();
    app_.ui = &controls_;
    app_.box = &boxes_;
    app_.cd = &cd_;
    app_.clock = &clock_;
    observer_.inner = model_;
    observer_.ui = &controls_;
    app_.grid.set_observer(&observer_);
    controls_.set_grid_model(model_);
    reporter_ = std::make_unique<AccuracyReporter>(app_, controls_);
    frmAccuracy_ = new AccuracyWindow(this);
    connect(reporter_.get(), &AccuracyReporter::changed, this, guard([this] { show_accuracy(false); }));
    convergence_.watch_eps(&app_.st.Eps);
    frmConvergence_ = new ConvergenceWindow(convergence_, this);
    controls_.set_sweep_listener(frmConvergence_);
    pictures_ = std::make_unique<PictureWindows>(app_, this, model_);
    connect_typing_and_drops();

    run([](App& app) { Form_Load(app); }, false);
}

FrmMain::~FrmMain() {
    reporter_.reset();
    pictures_.reset();
    // The convergence window shows convergence_, a member that goes before the child widgets.
    controls_.set_sweep_listener(nullptr);
    delete frmConvergence_;
    frmConvergence_ = nullptr;
    // The grid lives in app_, which goes before the child widgets: detach the view model first.
    app_.grid.set_observer(nullptr);
    msfgData_->setModel(nullptr);
    delete model_;
    model_ = nullptr;
}

void FrmMain::file_command(DialogPurpose purpose, void (*command)(App&), SystemSource source) {
    cd_.set_look(dialog_look(purpose));  // run() takes the look back
    run_and_name_system([command](App& app) { command(app); }, source);
}

void FrmMain::plain_command(const std::function<void(App&)>& command) { run(command, false); }

void FrmMain::export_solution() {
    cd_.set_look(dialog_look(DialogPurpose::Export));
    run([](App& app) { ExportSolution_Click(app); }, false);
}

void FrmMain::show_accuracy_window() {
    show_accuracy(true);
    frmAccuracy_->show();
    frmAccuracy_->raise();
    frmAccuracy_->activateWindow();
}

void FrmMain::show_convergence_window() {
    frmConvergence_->show();
    frmConvergence_->raise();
    frmConvergence_->activateWindow();
}

void FrmMain::connect_commands() {
    connect(cmdN_, &QPushButton::clicked, this,
            guard([this] { run_and_name_system([](App& app) { cmdN_Click(app); }, SystemSource::Typed); }));
    connect(cmdA_, &QPushButton::clicked, this, guard([this] { run([](App& app) { cmdA_Click(app); }, false); }));
    connect(cmdB_, &QPushButton::clicked, this, guard([this] { run([](App& app) { cmdB_Click(app); }, false); }));
    connect(cmdSolution_, &QPushButton::clicked, this,
            guard([this] { solve([](App& app) { cmdSolution_Click(app); }, true); }));
    connect(cmdIter_, &QPushButton::clicked, this,
            guard([this] { solve([](App& app) { cmdIter_Click(app); }, false); }));
    // Return in an entry box presses its Accept button (a disabled button ignores it).
    connect(txtN_, &QLineEdit::returnPressed, cmdN_, &QPushButton::click);
    connect(txtA_, &QLineEdit::returnPressed, cmdA_, &QPushButton::click);
    connect(txtB_, &QLineEdit::returnPressed, cmdB_, &QPushButton::click);
    connect(txtGoTo_, &QLineEdit::returnPressed, this,
            guard([this] { run([this](App&) { go_to_clicked(); }, false); }));
    for (int k = 0; k < 3; ++k) {
        connect(cmdDown_[k], &QPushButton::clicked, this,
                guard([this, k] { run([k](App& app) { cmdDown_Click(app, k); }, false); }));
        connect(cmdUp_[k], &QPushButton::clicked, this,
                guard([this, k] { run([k](App& app) { cmdUp_Click(app, k); }, false); }));
    }
}

template <class Command>
void FrmMain::run(Command&& command, bool busy, bool stoppable) {
    // Every command of the window comes through here, from a guarded slot. The commands trap their own
    // failures; a failure of the command still lets the window end its run (notes, gate, repaint), and
    // a failure of that (memory for the cursor or the repaint) still releases the gate.
    // A value still in a grid cell's editor goes in first, as a command of its own.
    if (auto* cells = qobject_cast<CellEditDelegate*>(msfgData_->itemDelegate())) cells->finish_editing();
    // The accuracy report's worker reads the state that the command may change.
    reporter_->cancel();
    if (pictures_) pictures_->command_starting();
    const unsigned notes = controls_.status_writes();
    const bool ended = guarded([&] {
        if (busy) QApplication::setOverrideCursor(Qt::WaitCursor);
        model_->set_deferred(true);
        gate_->hold(stoppable);
        if (stoppable) controls_.begin_run_note();
        guarded([&] { command(app_); });
        if (stoppable) controls_.end_run_note();
        gate_->release();
        model_->set_deferred(false);
        model_->flush();
        reporter_->command_ended(controls_.status_writes() != notes);
        if (pictures_) pictures_->command_ended();
    });
    if (!ended) gate_->release();
    if (busy) QApplication::restoreOverrideCursor();
    cd_.set_look({});
    // A close asked for during the command: the run has stopped, now the window goes.
    if (gate_->take_close_request()) QTimer::singleShot(0, this, &QWidget::close);
}

void FrmMain::show_accuracy(bool opening) {
    const AccuracyReport* report = reporter_->report();
    // The status bar's tooltip holds the whole report once it is measured.
    if (report && !report->pending) statusBar()->setToolTip(QString::fromStdString(report_text(*report)));
    // View, Solution draws the reference beside x once it is measured; another system has none.
    if (pictures_ && (!report || !report->pending)) {
        std::optional<std::vector<double>> reference;
        if (report && report->reference.claimed)
            reference.emplace(report->reference.x.begin() + 1, report->reference.x.end());
        pictures_->set_reference(std::move(reference));
    }
    if (opening || frmAccuracy_->isVisible())
        frmAccuracy_->show_report(report, QString::fromStdString(convergence_.system()));
}

void FrmMain::export_accurate() {
    // The report is not cancelled for this: while it is still measured there is nothing to export.
    if (reporter_->busy()) {
        run([](App& app) { app.box->message("The accurate solution is still being computed: try again in a moment."); },
            false);
        return;
    }
    run([this](App& app) { ExportAccurate_Click(app, reporter_->report()); }, false);
}

template <class Command>
void FrmMain::solve(Command&& command, bool find_solution) {
    convergence_.command_starting(find_solution, app_.st.IterCount);
    // Esc stops a "Find  solution" run.
    run(std::forward<Command>(command), true, find_solution);
    convergence_.command_ended(describe(app_.last_run));
    // The last sweeps came after the last throttled repaint.
    frmConvergence_->before_repaint();
    reporter_->start();
}

template <class Command>
void FrmMain::run_and_name_system(Command&& command, SystemSource source) {
    const int resets = observer_.resets;
    const unsigned notes = controls_.status_writes();
    const std::string file = app_.cd->FileName;
    run(std::forward<Command>(command), source == SystemSource::Typed);
    // A command that laid the grid out anew has set a new system up: typed ("Accept N"), or read from
    // the file just chosen (Open, Connect). Save names the system after the file it chose; in
    // connected mode it shows no dialog and keeps the name.
    const bool named = source == SystemSource::Save ? app_.cd->FileName != file : observer_.resets != resets;
    // A note about an order refused or rounded before speaks of a system no longer in question once
    // another command of this kind has ended without a note of its own.
    if (source != SystemSource::Save && controls_.status_writes() == notes &&
        is_order_note(statusBar()->currentMessage().toStdString()))
        controls_.status("");
    if (!named) return;
    if (source == SystemSource::Typed) {
        convergence_.set_system("untitled");
    } else if (!app_.cd->FileName.empty()) {
        std::string name = std::filesystem::path(app_.cd->FileName).filename().string();
        if (app_.st.DataMode == kModeConnected) name += " (connected)";
        convergence_.set_system(name);
    }
    frmConvergence_->before_repaint();
}

void FrmMain::connect_typing_and_drops() {
    // A typed cell goes through the entry command of its kind, as "Accept A(i,j)" or "Accept B(i)".
    auto editable = [this](int row, int col) {
        bool yes = false;
        guarded([&] { yes = !gate_->holding() && cell_entry(app_, row, col).kind != CellEntry::Kind::None; });
        return yes;
    };
    auto enter = [this](int row, int col, const QString& text) {
        // The editor is still closing: a message about a bad value is shown once it has gone.
        HeldMessages held;
        MessageBoxes* boxes = app_.box;
        app_.box = &held;
        // Guarded on its own, so that the window's boxes come back whatever the run does.
        guarded([&] { run([&](App& app) { enter_cell(app, row, col, text.toStdString()); }, false); });
        app_.box = boxes;
        for (const std::string& t : held.texts)
            QTimer::singleShot(0, this, guard([this, t] { run([&t](App& app) { app.box->message(t); }, false); }));
    };
    // The model calls these from Qt's item views: the grid editor's commit among them.
    model_->set_entry(editable, guard(enter));
    new FileDrop(this, gate_, [this](const DropDecision& d) {
        if (d.action == DropDecision::Action::Refuse) {
            run([&d](App& app) { app.box->message(d.message); }, false);
        } else if (d.action == DropDecision::Action::Open) {
            run_and_name_system([&d](App& app) { open_path(app, d.path); }, SystemSource::File);
        } else {
            run_and_name_system([&d](App& app) { import_path(app, d.path, app.cd->FileName); }, SystemSource::File);
        }
    });
}

bool FrmMain::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip && static_cast<QStatusTipEvent*>(event)->tip().isEmpty()) return true;
    return QMainWindow::event(event);
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    // A wider or narrower status bar shows more or fewer items of the accuracy report.
    if (event->type() == QEvent::Resize && watched == statusBar()) guarded([this] { controls_.refit_status(); });
    if (event->type() == QEvent::ShortcutOverride) {
        // A line edit claims keys such as Ctrl+A and Ctrl+C for itself; leaving the override
        // unaccepted for the menu's keys lets the menu's shortcut fire instead.
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        for (const QAction* a : shortcut_actions_) {
            if (a->isEnabled() && a->shortcut() == pressed) {
                event->ignore();
                return true;
            }
        }
    } else if (watched == corner_ && event->type() == QEvent::Paint) {
        paint_corner();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace varnex
